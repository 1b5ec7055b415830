#!/usr/bin/env bash
# Builds and runs the comparison of the damped joint inversion with SATSI
# (tools/grid_compare.cpp) on a catalogue in SATSI's input format, e.g.
#   tools/grid-compare.sh RUN_0.sat 0 --out RUN_0.out
#   tools/grid-compare.sh RUN.sat 1.2 --summary RUN.summary --sweep 0.4,0.6,0.8,1,1.2,1.6,2
# The peer's files are the user's (docs/grid.md, "Against SATSI"); none is kept here.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/ensure-packages.sh" build-essential cmake ninja-build nlohmann-json3-dev libcli11-dev libproj-dev libcsv-dev libeigen3-dev
cmake -S "$root" -B "$root/build-study" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF -DZARKEL_PYTHON_MODULE=OFF -DZARKEL_GRID_STUDY=ON >/dev/null
cmake --build "$root/build-study" --target zarkel_grid_compare >/dev/null
"$root/build-study/zarkel_grid_compare" "$@"
