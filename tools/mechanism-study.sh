#!/usr/bin/env bash
# Builds and runs the study of the nodal-plane choice (tools/mechanism_study.cpp)
# on synthetic catalogues of focal mechanisms. Arguments go to the study, e.g.
#   tools/mechanism-study.sh --replicas 1 --ntir 500 --starts 4 --jobs 2 --rule hybrid
# (--replicas 1: 36 catalogues per population and noise level), or the study
# of the confidence regions (coverage of the truth by the 95 % regions of the
# answer and of the linear bootstrap, per family of catalogues):
#   tools/mechanism-study.sh --coverage 40 100 50 --jobs 2
# (40 catalogues per family, 100 events each, 50 replicates; the swarm-like
# family takes the fault planes of tests/batch/published/avb.DATA).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcli11-dev libproj-dev libcsv-dev
cmake -S . -B build-study -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF -DZARKEL_STUDY=ON >/dev/null
cmake --build build-study --target zarkel_mechanism_study
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
build-study/zarkel_mechanism_study "$@"
