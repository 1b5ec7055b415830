#!/usr/bin/env bash
# Counts the lines of product code and of test code and prints their ratio.
# A line counts when it is not blank and not only a comment (// in C++,
# # in Python and shell). Product: src/, app/ and python/ (the binding);
# tests: tests/. Tools,
# benchmarks and fuzz harnesses count as neither. Only .cpp, .hpp, .py and
# .sh files count, so goldens, corpora and the tables of the command-line
# tests are left out.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  local total=0 n f
  while IFS= read -r -d '' f; do
    case "$f" in
      *.cpp|*.hpp) n=$(awk '!/^[[:space:]]*$/ && !/^[[:space:]]*\/\//' "$f" | wc -l) ;;
      *.py|*.sh)   n=$(awk '!/^[[:space:]]*$/ && !/^[[:space:]]*#/' "$f" | wc -l) ;;
    esac
    total=$((total + n))
  done < <(find "$@" -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.py' -o -name '*.sh' \) -print0 2>/dev/null)
  echo "$total"
}

product=$(count src app python)
tests=$(count tests)
echo "product lines: $product"
echo "test lines:    $tests"
awk -v t="$tests" -v p="$product" 'BEGIN { printf "ratio:         %.1f %%\n", (p ? 100 * t / p : 0) }'
