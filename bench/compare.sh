#!/usr/bin/env bash
# Runs two zarkel binaries on the bundled example and on synthetic runs and
# compares their listings byte for byte: a speed change must not move a digit.
#   bench/compare.sh OLD_ZARKEL NEW_ZARKEL ZARKEL_BENCH
set -euo pipefail
cd "$(dirname "$0")/.."
old=$1 new=$2 bench=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cases=(example)
for run in 300,999,0 300,999,2 100,500,2 30,2000,1; do
  d="$work/n${run//,/_}"
  "$bench" --make-data="$run,$d"
  cases+=("$d")
done

status=0
for c in "${cases[@]}"; do
  if [ "$c" = example ]; then p=examples/PARAMETERS; d=examples/DATA; else p=$c/PARAMETERS; d=$c/DATA; fi
  for which in old new; do
    bin=${!which}
    printf '\n%s\n%s\n%s\n' "$p" "$d" "$work/L.$which" | "$bin" >/dev/null
  done
  if cmp -s "$work/L.old" "$work/L.new"; then
    echo "same   $(basename "$c") ($(wc -l <"$work/L.new") lines)"
  else
    echo "DIFFER $(basename "$c")"; diff "$work/L.old" "$work/L.new" | head -20; status=1
  fi
done
exit $status
