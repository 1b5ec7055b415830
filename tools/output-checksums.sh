#!/usr/bin/env bash
# Runs the built programs on the bundled examples (a run with starts,
# bootstrap and figure; a phase run; a mechanism run; an import; a campaign;
# a sharded campaign and its merge) and prints the sha256 of every file they
# write, of what they print and of their exit statuses, one line per file.
# Two builds that print the same lines write the same bytes.
#
#   tools/output-checksums.sh [BUILD_DIR] > sums.txt
#   diff before.txt sums.txt
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
batch=$build/zarkel-batch
import=$build/zarkel-import
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp -r "$root/examples" examples
mkdir out

# run NAME PROGRAM ARGS...: what it prints and its status become files too.
run() {
  local name=$1; shift
  set +e
  "$@" >"out/$name.stdout" 2>"out/$name.stderr"
  echo $? >"out/$name.status"
  set -e
}

run plain "$batch" examples/PARAMETERS examples/DATA out/plain.LISTING --starts 10 --bootstrap 200 \
  --json out/plain.json --svg out/plain.svg --labels
run phases "$batch" examples/phases/PARAMETERS examples/phases/DATA out/phases.LISTING --phases auto \
  --phase-dir out/phases --json out/phases.json --svg out/phases.svg --bootstrap 50
run mechanisms "$batch" examples/PARAMETERS examples/mechanisms.csv out/mechanisms.LISTING --mechanisms \
  --json out/mechanisms.json --svg out/mechanisms.svg --chosen-data out/mechanisms.CHOSEN --bootstrap 50
run import "$import" examples/field.csv out/import.DATA --title "STATION 12" --report out/import.csv
run campaign "$batch" --stations examples/campaign/stations.csv --out out/campaign --starts 3 --bootstrap 50
run shard0 "$batch" --stations examples/campaign/stations.csv --out out/shard0 --shard 0/2 --starts 3 --bootstrap 50
run shard1 "$batch" --stations examples/campaign/stations.csv --out out/shard1 --shard 1/2 --starts 3 --bootstrap 50
run merge "$batch" --merge out/merged out/shard0 out/shard1

# A campaign's manifest names its table by absolute path: the work folder
# is written as WORK before hashing, so that two runs compare.
find out -type f | LC_ALL=C sort | while IFS= read -r f; do
  printf '%s  %s\n' "$(sed "s|$work|WORK|g" "$f" | sha256sum | cut -d' ' -f1)" "$f"
done
