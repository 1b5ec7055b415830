#!/usr/bin/env bash
# Focal-mechanism catalogues at size: synthetic catalogues of known stress
# (bench/make_catalogue.py: random faults, 10 degrees of noise, one plane
# given at random) inverted by `zarkel-batch --mechanisms` with the hybrid
# choice, 4 starts, NTIR 500, POURC 100, --jobs 2. Prints one table row per
# size: elapsed time, time per event, peak memory (maximum resident set),
# engine runs and how far the answer lies from the truth.
#   bench/catalogue.sh [N...]      (default: 1000 10000 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 10000 100000)
# ZARKEL_BATCH=path: that binary instead of a build in build-bench.
batch=${ZARKEL_BATCH:-}
if [ -z "$batch" ]; then
  tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev \
    python3 time
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF >/dev/null
  cmake --build build-bench --target zarkel-batch >/dev/null
  batch=$PWD/build-bench/zarkel-batch
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '1 0\n1 100 500 7 0\n' >"$work/PARAMETERS"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "| events | elapsed (s) | processor (s) | per event (ms of processor) | peak memory (MB) | engine runs | sigma 1 off (deg) | sigma 3 off (deg) | R (truth 0.40) |"
echo "|---|---|---|---|---|---|---|---|---|"
for n in "${sizes[@]}"; do
  python3 bench/make_catalogue.py "$n" 10 1 "$work/c.csv" >/dev/null
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$batch" "$work/PARAMETERS" "$work/c.csv" "$work/LISTING" --mechanisms \
    --plane-choice hybrid --starts 4 --jobs 2 --json "$work/r.json" --quiet 2>/dev/null
  read -r seconds kb user sys <"$work/time"
  python3 - "$work/r.json" "$n" "$seconds" "$kb" "$user" "$sys" <<'PY'
import json, math, sys
doc, n, seconds, kb = json.load(open(sys.argv[1])), int(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
cpu = float(sys.argv[5]) + float(sys.argv[6])
def vec(tr, pl):
    t, p = math.radians(tr), math.radians(pl)
    return [math.cos(p) * math.sin(t), math.cos(p) * math.cos(t), -math.sin(p)]
def off(a, b):
    c = abs(sum(x * y for x, y in zip(a, b)))
    return math.degrees(math.acos(min(1.0, c)))
axes = {a["sigma"]: vec(a["trend_deg"], a["plunge_deg"]) for a in doc["final"]["axes"]}
print("| %d | %.1f | %.1f | %.3f | %.0f | %d | %.2f | %.2f | %.3f |" % (
    n, seconds, cpu, 1000 * cpu / n, kb / 1024, doc["mechanisms"]["engine_runs"],
    off(axes[1], vec(30, 10)), off(axes[3], vec(120, 0)), doc["final"]["R"]))
PY
done
