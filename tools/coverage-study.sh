#!/usr/bin/env bash
# Builds and runs the coverage study of the bootstrap (tools/coverage_study.cpp)
# on synthetic sets of known tensor. Arguments go to the study, e.g.
#   tools/coverage-study.sh --sets 48 --n 50 --noise 10 --bootstrap 200 --starts 2
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcli11-dev libcsv-dev libproj-dev libbenchmark-dev
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF -DZARKEL_BENCH=ON >/dev/null
cmake --build build-bench --target zarkel_coverage
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
build-bench/zarkel_coverage "$@"
