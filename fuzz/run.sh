#!/usr/bin/env bash
# Builds the libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and fuzzes a whole run for the given number of seconds (default 60).
#
#   fuzz/run.sh [seconds]
#
# Inputs are the PARAMETERS file, a 0xFF byte, then the DATA file. The corpus
# grown is kept in tests/fuzz-corpus (replayed by test_hardening); a finding
# is written to build-fuzz/findings/ and makes the script fail.
# Minimise the corpus after a long session with:
#   fuzz/run.sh --merge
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh clang libclang-rt-14-dev cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev

build=build-fuzz
corpus=tests/fuzz-corpus
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DZARKEL_FUZZ=ON -DZARKEL_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
fi
cmake --build "$build" --target zarkel_fuzz
mkdir -p "$corpus" "$build/findings" "$build/grown"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if [ "${1:-}" = "--merge" ]; then
  # Keep only the inputs that reach new code (edges, not hit counts, so the
  # corpus stays a hundred or so small files): grown inputs and the corpus
  # merged into a fresh directory that replaces the corpus.
  rm -rf "$build/merged" && mkdir -p "$build/merged"
  "$build/zarkel_fuzz" -merge=1 -use_counters=0 -max_len=4096 "$build/merged" "$corpus" "$build/grown"
  rm -rf "$corpus" && mv "$build/merged" "$corpus"
  echo "corpus: $(ls "$corpus" | wc -l) files, $(du -sh "$corpus" | cut -f1)"
  exit 0
fi

seconds=${1:-60}
# New inputs go to the scratch directory first (the committed corpus only
# changes through --merge); the committed corpus seeds the run.
"$build/zarkel_fuzz" "$build/grown" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=4096 -dict=fuzz/zarkel.dict -artifact_prefix="$build/findings/" -print_final_stats=1
