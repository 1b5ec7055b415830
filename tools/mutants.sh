#!/usr/bin/env bash
# Mutation check of the test suite: applies each one-line fault listed in
# tools/mutants.txt to the product, rebuilds, runs the tests and reports
# whether some test failed (KILLED) or all passed (SURVIVED).
#
# An entry is one line of three tab-separated fields:
#   path (from the repository root) <TAB> exact text <TAB> replacement
# The text must occur exactly once in the file; otherwise the entry is STALE
# (the code moved) and has to be re-pointed. Lines starting with # and blank
# lines are ignored.
#
# Usage: tools/mutants.sh [--list FILE] [--build DIR] [--timeout SECONDS]
#                         [--only N[,N...]] [--check]
#   --check   only verify that every entry still applies; build nothing
#   --only    run the entries with these numbers (1-based, in list order)
# Exit status: 0 when every mutant is killed; 1 when one survives, an entry
# is stale or a mutant does not compile; 2 on a usage error or when the
# unmutated tree does not build or pass its tests.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list="$root/tools/mutants.txt"
build="$root/build-mutants"
timeout=120
only=""
check_only=0
while (($#)); do
  case "$1" in
    --list) list=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --only) only=",$2,"; shift 2 ;;
    --check) check_only=1; shift ;;
    *) echo "usage: $0 [--list FILE] [--build DIR] [--timeout S] [--only N,..] [--check]" >&2; exit 2 ;;
  esac
done

paths=() texts=() repls=()
while IFS= read -r line || [[ -n $line ]]; do
  [[ -z ${line//[[:space:]]/} || $line == \#* ]] && continue
  IFS=$'\t' read -r p t r <<<"$line"
  if [[ -z $p || -z $t || $line != *$'\t'*$'\t'* ]]; then
    echo "malformed entry (need path<TAB>text<TAB>replacement): $line" >&2
    exit 2
  fi
  paths+=("$p") texts+=("$t") repls+=("$r")
done <"$list"

# Occurrences of the literal text $2 in the string $1.
occurrences() {
  local rest=$1 n=0
  while [[ $rest == *"$2"* ]]; do
    rest=${rest#*"$2"}
    n=$((n + 1))
  done
  echo "$n"
}

# The file is saved before it is mutated and written back afterwards, on
# every exit path (Ctrl-C included). Writing it back gives it a new time
# stamp, so the next build recompiles it from the restored text.
saved_path="" saved_copy=$(mktemp)
restore() {
  if [[ -n $saved_path ]]; then
    cat "$saved_copy" >"$saved_path"
    saved_path=""
  fi
}
trap 'restore; rm -f "$saved_copy"' EXIT
trap 'echo; echo "interrupted: file restored" >&2; exit 130' INT TERM

build_and_test() {
  cmake --build "$build" >"$build/mutant-build.log" 2>&1 || return 2
  ctest --test-dir "$build" -j2 --timeout "$timeout" --stop-on-failure >"$build/mutant-test.log" 2>&1 || return 1
  return 0
}

if ((!check_only)); then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  if [[ ! -f $build/build.ninja ]]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null || exit 2
  fi
  echo "building and testing the unmutated tree in $build ..."
  build_and_test
  case $? in
    1) echo "the tests fail without any mutation: see $build/mutant-test.log" >&2; exit 2 ;;
    2) echo "the unmutated tree does not build: see $build/mutant-build.log" >&2; exit 2 ;;
  esac
fi

killed=0 survived=0 stale=0 nobuild=0 total=0
survivors=() problems=()
for i in "${!paths[@]}"; do
  num=$((i + 1))
  [[ -n $only && $only != *",$num,"* ]] && continue
  total=$((total + 1))
  file="$root/${paths[$i]}"
  label=$(printf '%3d %s: %s' "$num" "${paths[$i]}" "${texts[$i]}")
  content=""
  [[ -f $file ]] && IFS= read -r -d '' content <"$file"
  n=$(occurrences "$content" "${texts[$i]}")
  if [[ ! -f $file || $n -ne 1 ]]; then
    echo "STALE    $label (found $n times)"
    stale=$((stale + 1))
    problems+=("STALE    $label")
    continue
  fi
  if ((check_only)); then
    echo "OK       $label"
    continue
  fi
  cp "$file" "$saved_copy"
  saved_path=$file
  printf '%s' "${content/"${texts[$i]}"/"${repls[$i]}"}" >"$file"
  started=$SECONDS
  build_and_test
  rc=$?
  restore
  label+=" [$((SECONDS - started)) s]"
  case $rc in
    0) echo "SURVIVED $label"; survived=$((survived + 1)); survivors+=("$label") ;;
    1) echo "KILLED   $label"; killed=$((killed + 1)) ;;
    2) echo "NOBUILD  $label"; nobuild=$((nobuild + 1)); problems+=("NOBUILD  $label")
       cp "$build/mutant-build.log" "$build/mutant-$num-build.log" ;;
  esac
done

# Leave the build as the restored sources make it.
((check_only)) || cmake --build "$build" >/dev/null 2>&1

echo
if ((check_only)); then
  echo "$total entries, $stale stale"
  ((stale == 0))
  exit
fi
echo "killed $killed of $total; survived $survived; stale $stale; not compiling $nobuild"
if ((${#survivors[@]})); then
  echo "survivors:"
  printf '  %s\n' "${survivors[@]}"
fi
if ((${#problems[@]})); then
  echo "entries to fix:"
  printf '  %s\n' "${problems[@]}"
fi
((survived == 0 && stale == 0 && nobuild == 0))
