#!/usr/bin/env bash
# Builds zarkel (Release) and runs the bundled example end to end: RETURN at
# the header, then the PARAMETERS, DATA and OUTPUT paths, fed on standard input.
set -euo pipefail
cd "$(dirname "$0")"
tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev libeigen3-dev
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF >/dev/null
cmake --build build-release --target zarkel
mkdir -p out
printf '\n%s\n%s\n%s\n' examples/PARAMETERS examples/DATA out/LISTING | build-release/zarkel
echo
echo "The listing is in out/LISTING"
