#!/usr/bin/env bash
# Builds everything (Release) and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/ensure-packages.sh build-essential cmake ninja-build libgtest-dev nlohmann-json3-dev libcsv-dev libcli11-dev \
  librsvg2-bin libpng-dev libxml2-utils python3 python3-jsonschema gdal-bin libproj-dev proj-bin libeigen3-dev \
  pybind11-dev python3-dev python3-numpy python3-pandas python3-matplotlib strace slurm-wlm munge
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2
