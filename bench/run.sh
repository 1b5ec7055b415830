#!/usr/bin/env bash
# Builds zarkel and the benchmarks (Release), runs the benchmarks, then
# measures the peak memory of the real program on a run of 300 data.
# Arguments go to the benchmark binary, e.g.
#   bench/run.sh --benchmark_filter=SommeRanked --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev libbenchmark-dev time
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS= \
  -DZARKEL_TESTS=OFF -DZARKEL_BENCH=ON >/dev/null
cmake --build build-bench --target zarkel zarkel-batch zarkel_bench

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
build-bench/zarkel_bench "$@"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ntir in 999 100000; do
  build-bench/zarkel_bench --make-data="300,$ntir,0,$work/n$ntir"
  printf '\n%s\n%s\n%s\n' "$work/n$ntir/PARAMETERS" "$work/n$ntir/DATA" "$work/n$ntir/LISTING" >"$work/stdin"
  /usr/bin/time -f '%M %e %U' -o "$work/usage" build-bench/zarkel <"$work/stdin" >/dev/null
  read -r rss wall user <"$work/usage"
  echo "zarkel, N = 300, NTIR = $ntir: peak memory (max RSS) $rss KiB, ${wall} s elapsed, ${user} s user"
done

# The bootstrap on one and two worker threads: elapsed and CPU time, and the
# peak memory, which grows with the threads and not with the replicates.
build-bench/zarkel_bench --make-data="100,999,0,$work/b100"
for run in "500 1" "500 2" "2000 2"; do
  set -- $run
  /usr/bin/time -f '%M %e %U' -o "$work/usage" build-bench/zarkel-batch "$work/b100/PARAMETERS" "$work/b100/DATA" \
    "$work/b100/LISTING" --bootstrap "$1" --jobs "$2" --quiet
  read -r rss wall user <"$work/usage"
  echo "zarkel-batch, N = 100, --bootstrap $1 --jobs $2: ${wall} s elapsed, ${user} s user, peak memory $rss KiB"
done
