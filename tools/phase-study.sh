#!/usr/bin/env bash
# Builds and runs the study of the separation of stress phases
# (tools/phase_study.cpp) on synthetic mixtures of known membership.
# Arguments go to the study, e.g.
#   tools/phase-study.sh --sets 24 --ntir 500
#   tools/phase-study.sh --cost 20 --n 150
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcli11-dev libcsv-dev libproj-dev libbenchmark-dev
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF -DZARKEL_BENCH=ON >/dev/null
cmake --build build-bench --target zarkel_phase_study
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
build-bench/zarkel_phase_study "$@"
