#!/usr/bin/env bash
# Submits a sharded zarkel-batch run to Slurm: an array of N jobs, task I
# running the given arguments with --shard I/N into SHARDS/shardI, and a merge
# job that waits for all of them (--dependency=afterok) and runs
# zarkel-batch --merge OUT SHARDS/shard0 ... SHARDS/shard(N-1).
#
#   tools/slurm/grid-array.sh --shards N --out OUT [options] -- ZARKEL_BATCH ARGS...
#
# ARGS are those of the unsharded run, with {out} where its output folder goes:
#
#   tools/slurm/grid-array.sh --shards 10 --out campaign --partition geo --time 2:00:00 --mem 2G \
#       -- zarkel-batch --stations stations.csv --out {out} --bootstrap 1000
#
# Options:
#   --shards N         the number of shards (array tasks), 1 or more
#   --out OUT          the merged folder, as the unsharded run would write it
#   --shard-dir DIR    the shards' folder: shard I is DIR/shardI, the job
#                      scripts and logs/ are in DIR too (default OUT.shards)
#   --partition P, --time T, --mem M, --cpus-per-task C
#                      sbatch's options of the same names, for every job
#                      (give zarkel-batch --jobs C to use C CPUs)
#   --max-running M    at most M shards at once (the array's %M)
#   --sbatch OPT       one more sbatch option for every job (repeatable):
#                      --sbatch=--account=geo
#   --name NAME        the jobs' name (default zarkel): NAME-shard, NAME-merge
#   --dry-run          write the job scripts, print the sbatch commands, submit nothing
#
# Prints array_job=ID and merge_job=ID on standard output. The jobs run in
# the current folder (--chdir), so relative paths mean what they mean here;
# the shard folders must be on a file system the nodes share.
#
# A shard that ran with failed stations (zarkel-batch's status 1, and the
# shard's campaign.json written by this run) ends with status 0, so that the
# merge runs: the failures are in the shard's summary.csv, and the merge
# exits 1 for them as the unsharded run does. Any other failure of a shard
# fails its task, and the merge is then cancelled (--kill-on-invalid-dep).
# Status 2 is a refusal of this script's arguments.
set -euo pipefail

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit 0
}
refuse() {
  echo "grid-array.sh: $*" >&2
  exit 2
}

shards='' out='' shard_dir='' name=zarkel max_running='' dry_run=0
opts=()
while [ $# -gt 0 ]; do
  case "$1" in
    --shards | --out | --shard-dir | --partition | --time | --mem | --cpus-per-task | --max-running | --sbatch | --name)
      [ $# -ge 2 ] || refuse "$1 needs a value"
      opt=$1 val=$2
      shift 2
      ;;
    --*=*) opt=${1%%=*} val=${1#*=}; shift ;;
    --dry-run) dry_run=1; shift; continue ;;
    --help | -h) usage ;;
    --) shift; break ;;
    *) refuse "unknown option $1 (the zarkel-batch command follows --)" ;;
  esac
  case "$opt" in
    --shards) shards=$val ;;
    --out) out=$val ;;
    --shard-dir) shard_dir=$val ;;
    --partition | --time | --mem | --cpus-per-task) opts+=("$opt=$val") ;;
    --max-running) max_running=$val ;;
    --sbatch) opts+=("$val") ;;
    --name) name=$val ;;
    *) refuse "unknown option $opt" ;;
  esac
done

[[ "$shards" =~ ^[1-9][0-9]*$ ]] || refuse "--shards takes a whole number of 1 or more (got \"$shards\")"
[ -n "$out" ] || refuse "--out OUT names the merged folder"
[ -z "$max_running" ] || [[ "$max_running" =~ ^[1-9][0-9]*$ ]] ||
  refuse "--max-running takes a whole number of 1 or more (got \"$max_running\")"
[[ "$name" =~ ^[A-Za-z0-9._-]+$ ]] || refuse "--name takes letters, digits, '.', '_' and '-' (got \"$name\")"
[ $# -ge 1 ] || refuse "no zarkel-batch command after --"
batch=$1
shift
has_out=0
for a in "$@"; do
  case "$a" in
    *'{out}'*) has_out=1 ;;
  esac
  case "$a" in
    --shard | --shard=* | --merge | --merge=*) refuse "$a is added by this script: give the arguments of the unsharded run" ;;
  esac
done
[ "$has_out" -eq 1 ] || refuse "the arguments name no {out}: put {out} where the run's output folder goes"
if [[ "$batch" == */* ]]; then
  [ -x "$batch" ] || refuse "$batch is not an executable file"
  [[ "$batch" == /* ]] || batch=$PWD/$batch
else
  command -v "$batch" >/dev/null || refuse "$batch is not on the PATH"
fi

base=$out
while [[ "$base" == */ && "$base" != / ]]; do base=${base%/}; done # campaign/ -> campaign.shards
shard_dir=${shard_dir:-$base.shards}
mkdir -p "$shard_dir/logs"
logs=$(cd "$shard_dir/logs" && pwd)

# A job script, written beside its path and moved into place when complete.
write_script() {
  local tmp
  tmp=$(mktemp "$1.XXXXXX")
  if ! { cat >"$tmp" && chmod 755 "$tmp" && mv -f "$tmp" "$1"; }; then
    rm -f "$tmp"
    return 1
  fi
}

{
  echo '#!/usr/bin/env bash'
  echo '# One shard of a zarkel-batch run, as a Slurm array task (written by tools/slurm/grid-array.sh).'
  echo 'set -u'
  printf 'n=%s\n' "$shards"
  printf 'shard_dir=%q\n' "$shard_dir"
  printf 'run=('
  printf ' %q' "$batch" "$@"
  printf ' )\n'
  cat <<'EOF'
i=${SLURM_ARRAY_TASK_ID:?this script is run as a task of sbatch --array}
dir=$shard_dir/shard$i
args=()
for a in "${run[@]}"; do args+=("${a//'{out}'/"$dir"}"); done
# campaign.json is replaced last by a run that completed (a new file: a new inode).
before=$(stat -c %i -- "$dir/campaign.json" 2>/dev/null || echo none)
"${args[@]}" --shard "$i/$n"
status=$?
after=$(stat -c %i -- "$dir/campaign.json" 2>/dev/null || echo none)
if [ "$status" -eq 1 ] && [ "$after" != none ] && [ "$after" != "$before" ]; then
  echo "shard $i/$n is complete; its failed stations are in $dir/summary.csv (the merge exits 1 for them)" >&2
  exit 0
fi
exit "$status"
EOF
} | write_script "$shard_dir/shard.sbatch"

{
  echo '#!/usr/bin/env bash'
  echo '# The merge of the shards of a zarkel-batch run (written by tools/slurm/grid-array.sh).'
  printf 'exec'
  printf ' %q' "$batch" --merge "$out"
  for ((i = 0; i < shards; i++)); do printf ' %q' "$shard_dir/shard$i"; done
  printf '\n'
} | write_script "$shard_dir/merge.sbatch"

array=0-$((shards - 1))${max_running:+%$max_running}
array_cmd=(sbatch --parsable "--job-name=$name-shard" "--array=$array" "--chdir=$PWD"
  "--output=$logs/shard%a.out" "${opts[@]}" "$shard_dir/shard.sbatch")
merge_cmd() {
  local -a cmd=(sbatch --parsable "--job-name=$name-merge" "--dependency=afterok:$1" --kill-on-invalid-dep=yes
    "--chdir=$PWD" "--output=$logs/merge.out" "${opts[@]}" "$shard_dir/merge.sbatch")
  if [ "$dry_run" -eq 1 ]; then printf '%q ' "${cmd[@]}" && echo; else "${cmd[@]}"; fi
}
if [ "$dry_run" -eq 1 ]; then
  printf '%q ' "${array_cmd[@]}" && echo
  merge_cmd '<array_job>'
  exit 0
fi

array_job=$("${array_cmd[@]}")
array_job=${array_job%%;*}
echo "array_job=$array_job"
if ! merge_job=$(merge_cmd "$array_job"); then
  echo "grid-array.sh: the merge job was not submitted; once the shards are done, merge them with $shard_dir/merge.sbatch" >&2
  exit 1
fi
merge_job=${merge_job%%;*}
echo "merge_job=$merge_job"
echo "$shards shards in $shard_dir (array job $array_job, logs in $logs); merge job $merge_job into $out once they all succeed" >&2
