#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and fuzzes them for the given number of seconds in all (default 60), shared:
# half for a whole run, a quarter each for a focal-mechanism table and for a
# separation into phases.
#
#   fuzz/run.sh [seconds]
#
# Inputs of a whole run are the PARAMETERS file, a 0xFF byte, then the DATA
# file; of the others, see fuzz/fuzz_new_inputs.hpp. Each corpus is kept in
# tests/fuzz-corpus[-mechanisms|-phases] (replayed by test_hardening); a
# finding is written to build-fuzz/findings/ and makes the script fail.
# Minimise the corpus after a long session with:
#   fuzz/run.sh --merge
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh clang libclang-rt-14-dev cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev

build=build-fuzz
corpus=tests/fuzz-corpus
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DZARKEL_FUZZ=ON -DZARKEL_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" >/dev/null
fi
cmake --build "$build" --target zarkel_fuzz zarkel_fuzz_mechanisms zarkel_fuzz_phases
mkdir -p "$build/findings"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# target, corpus, share of the time (per cent), seconds one input may take
# (a separation of 14 data takes seconds under the instrumentation)
targets=("zarkel_fuzz tests/fuzz-corpus 50 10" "zarkel_fuzz_mechanisms tests/fuzz-corpus-mechanisms 25 10"
         "zarkel_fuzz_phases tests/fuzz-corpus-phases 25 60")

if [ "${1:-}" = "--merge" ]; then
  # Keep only the inputs that reach new code (edges, not hit counts, so the
  # corpus stays a hundred or so small files): grown inputs and the corpus
  # merged into a fresh directory that replaces the corpus.
  for t in "${targets[@]}"; do
    read -r target corpus _ <<<"$t"
    mkdir -p "$corpus" "$build/grown-$target"
    rm -rf "$build/merged" && mkdir -p "$build/merged"
    "$build/$target" -merge=1 -use_counters=0 -max_len=4096 "$build/merged" "$corpus" "$build/grown-$target"
    rm -rf "$corpus" && mv "$build/merged" "$corpus"
    echo "$corpus: $(ls "$corpus" | wc -l) files, $(du -sh "$corpus" | cut -f1)"
  done
  exit 0
fi

seconds=${1:-60}
# New inputs go to a scratch directory first (a committed corpus only
# changes through --merge); the committed corpus seeds the run.
for t in "${targets[@]}"; do
  read -r target corpus share timeout <<<"$t"
  mkdir -p "$corpus" "$build/grown-$target"
  "$build/$target" "$build/grown-$target" "$corpus" -max_total_time=$(( (seconds * share + 99) / 100 )) -timeout="$timeout" \
    -rss_limit_mb=2048 -max_len=4096 -dict=fuzz/zarkel.dict -artifact_prefix="$build/findings/$target-" \
    -print_final_stats=1
done
