#!/usr/bin/env bash
# A gridded catalogue run end to end: a synthetic catalogue of NX x NY cells
# whose SHmax turns from 20 to 90 degrees west to east
# (bench/make_grid_catalogue.py, 10 degrees of noise) cut into cells of 0.2
# degrees by `zarkel-batch --mechanisms --grid lon,lat`, each cell run as a
# station (hybrid choice, 4 starts, NTIR 500, POURC 100), undamped and with
# --damping auto, on --jobs 2. Prints a table row per run: events, cells
# run, elapsed and processor time, peak memory, and the SHmax error against
# the truth of the cells of 20 events or more, undamped and damped.
# B, when given, adds --bootstrap B to both runs (each cell's own bootstrap
# and the damped system's).
#   bench/grid.sh [NX NY MEAN [B]]      (default: 10 10 100 0)
set -euo pipefail
cd "$(dirname "$0")/.."
nx=${1:-10} ny=${2:-10} mean=${3:-100} boot=${4:-0}
batch=${ZARKEL_BATCH:-}
if [ -z "$batch" ]; then
  tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev \
    libeigen3-dev python3 time
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARKEL_TESTS=OFF >/dev/null
  cmake --build build-bench --target zarkel-batch >/dev/null
  batch=$PWD/build-bench/zarkel-batch
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '1 0\n1 100 500 7 0\n' >"$work/PARAMETERS"
python3 bench/make_grid_catalogue.py "$nx" "$ny" "$mean" 10 1 "$work/c.csv" "$work/truth.csv"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "| run | events | cells run | elapsed (s) | processor (s) | peak memory (MB) | SHmax error, cells of >= 20 events: mean / p90 (deg) | within 10 deg | cells of < 20 events: mean error (deg), within 10 deg |"
echo "|---|---|---|---|---|---|---|---|---|"
for damping in none auto; do
  extra=()
  [ "$damping" = none ] || extra=(--damping "$damping")
  [ "$boot" = 0 ] || extra+=(--bootstrap "$boot")
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$batch" "$work/PARAMETERS" "$work/c.csv" "$work/out-$damping" \
    --mechanisms --grid lon,lat --cell 0.2,0.2 --jobs 2 --quiet "${extra[@]}" 2>/dev/null || true
  read -r seconds kb user sys <"$work/time"
  python3 - "$work/out-$damping/grid.json" "$work/truth.csv" "$damping" "$seconds" "$kb" "$user" "$sys" <<'PY'
import csv, json, sys
grid, truth = json.load(open(sys.argv[1])), {r["cell"]: float(r["SHmax_deg"]) for r in csv.DictReader(open(sys.argv[2]))}
damping, seconds, kb, cpu = sys.argv[3], float(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]) + float(sys.argv[7])
def err(a, b):
    d = abs(a - b) % 180.0
    return min(d, 180.0 - d)
key = "undamped" if damping == "none" else "damped"
errors = []
for c in grid["cells"]:
    answer = c[key]
    errors.append(90.0 if not answer or answer["SHmax_deg"] is None else err(answer["SHmax_deg"], truth[c["cell"]]))
errors.sort()
n = len(errors)
mean = sum(errors) / n if n else float("nan")
p90 = errors[min(n - 1, int(0.9 * n))] if n else float("nan")
within = 100.0 * sum(e <= 10.0 for e in errors) / n if n else float("nan")
# The cells below --min-events have a damped answer only (none undamped).
small = [err(c["damped"]["SHmax_deg"], truth[c["cell"]]) if c["damped"]["SHmax_deg"] is not None else 90.0
         for c in grid.get("unrun_cells", []) if c["events"] > 0]
few = ("%.1f, %.0f %%" % (sum(small) / len(small), 100.0 * sum(e <= 10.0 for e in small) / len(small))
       if small else "no answer")
print("| %s | %d | %d | %.1f | %.1f | %.0f | %.1f / %.1f | %.0f %% | %s |"
      % ("undamped" if damping == "none" else "damped (auto, e %.3g)" % grid["damping"]["chosen"],
         grid["events"], grid["kept_cells"], seconds, cpu, kb / 1024.0, mean, p90, within, few))
PY
done
