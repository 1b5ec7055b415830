#!/usr/bin/env bash
# Builds and runs the study of the damped joint inversion over grid cells
# (tools/grid_study.cpp) on synthetic gridded catalogues. Arguments go to the
# study, e.g.
#   tools/grid-study.sh --nx 20 --ny 20 --replicas 3 --noise 10
#   tools/grid-study.sh --choice --bootstrap 100 --jobs 2 --replicas 1
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcli11-dev libproj-dev libcsv-dev libeigen3-dev
cmake -S . -B build-study -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF -DZARKEL_PYTHON_MODULE=OFF -DZARKEL_GRID_STUDY=ON >/dev/null
cmake --build build-study --target zarkel_grid_study
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
build-study/zarkel_grid_study "$@"
