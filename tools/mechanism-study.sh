#!/usr/bin/env bash
# Builds and runs the study of the nodal-plane choice (tools/mechanism_study.cpp)
# on synthetic catalogues of focal mechanisms. Arguments go to the study, e.g.
#   tools/mechanism-study.sh --replicas 1 --ntir 500 --starts 4 --jobs 2 --rule hybrid
# (--replicas 1: 36 catalogues per population and noise level).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcli11-dev libproj-dev libcsv-dev
cmake -S . -B build-study -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF -DZARKEL_STUDY=ON >/dev/null
cmake --build build-study --target zarkel_mechanism_study
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
build-study/zarkel_mechanism_study "$@"
