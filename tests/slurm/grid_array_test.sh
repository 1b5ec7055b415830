#!/usr/bin/env bash
# A sharded run submitted through tools/slurm/grid-array.sh to a Slurm cluster
# of one node started here (munged, slurmctld, slurmd in a temporary folder,
# on free ports) merges to the bytes of the unsharded run, and its merge job
# ends with the unsharded run's status.
#
#   tests/slurm/grid_array_test.sh ZARKEL_BATCH SOURCE_DIR
#
# Runs as root (the daemons and the jobs run as root); exits 77 (skipped)
# otherwise, or when Slurm or MUNGE is not installed. Every daemon and job
# process it started is stopped, and its folder removed, on every exit.
set -euo pipefail

batch=$(realpath "$1")
src=$(realpath "$2")
script=$src/tools/slurm/grid-array.sh
deadline_s=${ZARKEL_SLURM_TIMEOUT:-120} # seconds for the cluster to come up, then for all the jobs
cd "$src"

# name|shards|the unsharded run's zarkel-batch arguments, {out} for its output
# folder ({tmp}: the test's folder, which holds stations.csv: two fault
# stations, one a spreadsheet, and a station of focal mechanisms)
cases=(
  "failed-station|3|--stations examples/campaign/stations.csv --out {out}"
  "empty-shards|5|--stations examples/campaign/stations.csv --out {out} --starts 2"
  "bootstrap|2|--stations {tmp}/stations.csv --out {out} --bootstrap 4 --starts 2 --jobs 1"
  "grid|2|examples/mechanisms.PARAMETERS examples/grid/catalogue.csv {out} --mechanisms --grid lon,lat --cell 0.2,0.2 --damping auto --bootstrap 4 --starts 2 --jobs 1"
)

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
started=$(now)

tmp=$(mktemp -d /tmp/zarkel-slurm.XXXXXX)
chmod 755 "$tmp" # munged wants its socket's folders open to all
conf=$tmp/slurm.conf
munged_pid='' slurmctld_pid='' slurmd_pid=''
# This cluster's commands; SLURM_CONF is not exported, so that the processes
# carrying it are those of the cluster's jobs.
slurm() { SLURM_CONF=$conf timeout 10 "$@"; }

# Whether a process runs (a zombie, waiting to be reaped, does not).
running() { [ -e "/proc/$1" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }

# Stops the processes given (TERM, then KILL after 10 s) and reaps them.
stop() {
  local pid t
  for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "$@"; do
    for ((t = 0; t < 100; t++)); do
      running "$pid" || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

# The processes this cluster started that outlive its daemons: job steps
# (slurmstepd, which keeps the node's log open) and the jobs' processes
# (which carry this cluster's SLURM_CONF).
cluster_processes() {
  {
    grep -lzxF "SLURM_CONF=$conf" /proc/[0-9]*/environ
    find /proc/[0-9]*/fd -lname "$tmp/*"
  } 2>/dev/null | cut -d/ -f3 | sort -u | grep -vx "$$\|$BASHPID" || true
}

cleanup() {
  local status=$? left
  set +e
  trap - EXIT INT TERM
  if [ -n "$slurmctld_pid" ]; then
    # Jobs still queued or running (a failure or a timeout) are cancelled first.
    slurm scancel --quiet --user=root 2>/dev/null
    for ((t = 0; t < 50; t++)); do
      [ -z "$(slurm squeue -h -o %i 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  stop $slurmd_pid $slurmctld_pid
  stop $munged_pid
  for ((t = 0; t < 20; t++)); do
    left=$(cluster_processes)
    [ -n "$left" ] || break
    # shellcheck disable=SC2086 # one pid a word
    kill -KILL $left 2>/dev/null
    sleep 0.1
  done
  [ -z "$left" ] || { echo "FAILED: processes of the cluster left: $left" >&2; status=1; }
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The script's refusals need no cluster: each would lose or mix shards.
refusals=(
  "--shards 0 --out o -- $batch --stations t.csv --out {out}|--shards takes a whole number of 1 or more"
  "--shards 2 --out o -- $batch --stations t.csv --out o|the arguments name no {out}"
  "--shards 2 --out o -- $batch --stations t.csv --out {out} --shard 0/2|--shard is added by this script"
  "--shards 2 --out o -- $batch --merge o a b|--merge is added by this script"
  "--shards 2 -- $batch --stations t.csv --out {out}|--out OUT names the merged folder"
  "--shards 2 --out o -- /nonexistent/zarkel-batch --out {out}|is not an executable file"
)
mkdir "$tmp/refusals"
for r in "${refusals[@]}"; do
  read -ra args <<<"${r%%|*}"
  set +e
  message=$(cd "$tmp/refusals" && "$script" "${args[@]}" 2>&1 >/dev/null)
  status=$?
  set -e
  [ "$status" -eq 2 ] || fail "grid-array.sh ${r%%|*}: status $status, not 2 ($message)"
  [[ "$message" == *"${r#*|}"* ]] || fail "grid-array.sh ${r%%|*}: \"$message\" does not say \"${r#*|}\""
  [ ! -e "$tmp/refusals/o.shards" ] || fail "grid-array.sh ${r%%|*} made o.shards before refusing"
done

[ "$(id -u)" -eq 0 ] || skip "the Slurm daemons and jobs of this test run as root (run the tests as root)"
for tool in munged mungekey slurmctld slurmd sbatch squeue scontrol scancel sinfo; do
  command -v "$tool" >/dev/null ||
    skip "$tool is not installed (tools/ensure-packages.sh slurm-wlm munge; run-tests.sh installs them)"
done

show_logs() {
  local f
  for f in "$tmp"/log/* "$tmp"/*/shards/logs/*; do
    [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }
  done >&2
}

# Two free TCP ports, for slurmctld and slurmd.
read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
host=$(hostname -s)
memory_mb=$(awk '/^MemTotal:/ { print int($2 / 1024 / 2) }' /proc/meminfo)
mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool" "$tmp/log"
cat >"$conf" <<EOF
ClusterName=zarkeltest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
SchedulerParameters=batch_sched_delay=0,sched_min_interval=0
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$memory_mb State=UNKNOWN
PartitionName=zarkel Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF

mungekey --create --keyfile="$tmp/munge/key" >/dev/null
munged -F --socket="$tmp/munge/socket" --key-file="$tmp/munge/key" --pid-file="$tmp/munge/pid" \
  --seed-file="$tmp/munge/seed" --log-file="$tmp/log/munged.log" >"$tmp/log/munged.out" 2>&1 &
munged_pid=$!
(cd "$tmp" && exec slurmctld -D -f "$conf" >"$tmp/log/slurmctld.out" 2>&1) &
slurmctld_pid=$!
(cd "$tmp" && exec slurmd -D -f "$conf" >"$tmp/log/slurmd.out" 2>&1) &
slurmd_pid=$!

# The node is idle once slurmd has registered with slurmctld.
up=$(now)
until [ "$(slurm sinfo -h -o %T 2>/dev/null)" = idle ]; do
  for pid in $munged_pid $slurmctld_pid $slurmd_pid; do
    kill -0 "$pid" 2>/dev/null || { show_logs; fail "a daemon of the cluster stopped (pid $pid)"; }
  done
  awk -v a="$up" -v b="$(now)" -v d="$deadline_s" 'BEGIN { exit !(b - a > d) }' &&
    { show_logs; fail "the node is not idle after $deadline_s s: $(slurm sinfo -h -o '%T %E' 2>&1)"; }
  sleep 0.2
done
echo "cluster up in $(since "$up") s"

# Each case: the unsharded run here, the sharded one through Slurm.
printf '%s\n' "station,data,parameters,longitude,latitude,type" \
  "a,$src/examples/DATA,$src/examples/PARAMETERS,5.37,43.29," \
  "b,$src/examples/field.csv,$src/examples/PARAMETERS,5.40,43.31," \
  "m,$src/examples/mechanisms.csv,$src/examples/mechanisms.PARAMETERS,5.45,43.35,mechanisms" >"$tmp/stations.csv"
declare -A status_of merge_of array_of
submitted=$(now)
for c in "${cases[@]}"; do
  IFS='|' read -r name shards line <<<"$c"
  read -ra run <<<"${line//'{tmp}'/"$tmp"}"
  local_run=("${run[@]//'{out}'/"$tmp/$name/local"}")
  mkdir -p "$tmp/$name"
  set +e
  "$batch" "${local_run[@]}" --quiet >/dev/null 2>&1
  status_of[$name]=$?
  set -e
  ids=$(SLURM_CONF=$conf "$script" --shards "$shards" --out "$tmp/$name/merged" --shard-dir "$tmp/$name/shards" \
    --partition zarkel --time 5 --mem 100M --name "$name" -- "$batch" "${run[@]}" --quiet) ||
    { show_logs; fail "$name: grid-array.sh failed"; }
  array_of[$name]=$(sed -n 's/^array_job=//p' <<<"$ids")
  merge_of[$name]=$(sed -n 's/^merge_job=//p' <<<"$ids")
  [[ -n "${array_of[$name]}" && -n "${merge_of[$name]}" ]] || fail "$name: no job ids printed: $ids"
done

field() { grep -o "\b\($1\)=[^ ]*" | cut -d= -f2; }
for c in "${cases[@]}"; do
  name=${c%%|*}
  shards=$(cut -d'|' -f2 <<<"$c")
  until state=$(slurm scontrol show job -o "${merge_of[$name]}" | field JobState) &&
    [[ "$state" =~ ^(COMPLETED|FAILED|CANCELLED|TIMEOUT|OUT_OF_MEMORY|NODE_FAIL|BOOT_FAIL|DEADLINE)$ ]]; do
    awk -v a="$submitted" -v b="$(now)" -v d="$deadline_s" 'BEGIN { exit !(b - a > d) }' &&
      { show_logs; fail "$name: the merge job is $state after $deadline_s s"; }
    sleep 0.2
  done
  # Every shard ran to its end (a shard with failed stations too); the merge
  # ends as the unsharded run.
  tasks=$(slurm scontrol show job -o "${array_of[$name]}" | field JobState | sort | uniq -c | xargs)
  [ "$tasks" = "$shards COMPLETED" ] || { show_logs; fail "$name: array tasks $tasks, not $shards COMPLETED (the merge job $state)"; }
  for job in "${array_of[$name]}" "${merge_of[$name]}"; do
    asked=$(slurm scontrol show job -o "$job" | field 'Partition\|TimeLimit\|MinMemoryNode' | sort -u | xargs)
    [ "$asked" = "00:05:00 100M zarkel" ] || fail "$name: job $job ran with $asked, not the options given"
  done
  exit_code=$(slurm scontrol show job -o "${merge_of[$name]}" | field ExitCode)
  [ "$exit_code" = "${status_of[$name]}:0" ] ||
    { show_logs; fail "$name: the merge job ended $state with $exit_code, the unsharded run with status ${status_of[$name]}"; }
  diff -r "$tmp/$name/local" "$tmp/$name/merged" >&2 ||
    fail "$name: the merged folder differs from the unsharded run's"
  echo "$name: $shards shards merged to the unsharded bytes (status ${status_of[$name]})"
done
echo "jobs done in $(since "$submitted") s; test $(since "$started") s"
