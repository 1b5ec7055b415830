#!/usr/bin/env bash
# A campaign of many small stations: the elapsed time of one
# `zarkel-batch --stations` command with --jobs 1 and with --jobs 2, beside
# the sum of the stations' own runs (one zarkel-batch process each, one after
# the other), and what the progress line wrote on a terminal.
#   bench/campaign.sh [STATIONS [DATA [RUN OPTIONS...]]]
# defaults: 200 stations of 30 data, --starts 4 --bootstrap 50.
set -euo pipefail
cd "$(dirname "$0")/.."
stations=${1:-200}
count=${2:-30}
shift $(($# < 2 ? $# : 2))
opts=("$@")
[ ${#opts[@]} -gt 0 ] || opts=(--starts 4 --bootstrap 50)

tools/ensure-packages.sh build-essential cmake ninja-build nlohmann-json3-dev libcsv-dev libcli11-dev libproj-dev \
  libbenchmark-dev python3 bsdutils
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS= \
  -DZARKEL_TESTS=OFF -DZARKEL_BENCH=ON >/dev/null
cmake --build build-bench --target zarkel-batch >/dev/null
batch=$PWD/build-bench/zarkel-batch

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/data"
# Stations turn through normal, thrust and strike-slip regimes, with trends
# and ratios that differ from one station to the next.
printf '1 0\n1 80 1000 7 0\n' >"$work/PARAMETERS"
echo "station,data,parameters,longitude,latitude,regime" >"$work/stations.csv"
for ((i = 0; i < stations; i++)); do
  t=$(((i * 37) % 360))
  case $((i % 3)) in
    0) s1="$t/80" s3="$(((t + 90) % 360))/5" regime=normal ;;
    1) s1="$t/5" s3="$(((t + 90) % 360))/80" regime=thrust ;;
    *) s1="$t/5" s3="$(((t + 90) % 360))/5" regime=strike-slip ;;
  esac
  ratio=$(awk -v k=$((i % 7)) 'BEGIN { printf "%.2f", 0.15 + 0.1 * k }')
  python3 tools/make_example.py --sigma1 "$s1" --sigma3 "$s3" --ratio "$ratio" --count "$count" \
    --noise 8 --seed "$i" --title "station $i" >"$work/data/s$i"
  lon=$(awk -v i="$i" 'BEGIN { printf "%.4f", 5 + (i % 20) * 0.05 }')
  lat=$(awk -v i="$i" 'BEGIN { printf "%.4f", 43 + int(i / 20) * 0.05 }')
  echo "s$i,data/s$i,PARAMETERS,$lon,$lat,$regime" >>"$work/stations.csv"
done

now() { date +%s.%N; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "$stations stations of $count data, NTIR 1000, run options: ${opts[*]}"

# The stations' own runs, one process each, with what a campaign writes for
# each station (listing, JSON, figure).
mkdir "$work/single"
start=$(now)
for ((i = 0; i < stations; i++)); do
  "$batch" "$work/PARAMETERS" "$work/data/s$i" "$work/single/s$i.LISTING" --json "$work/single/s$i.json" \
    --svg "$work/single/s$i.svg" --jobs 1 --quiet "${opts[@]}"
done
single=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
printf 'sum of the %d station runs: %.1f s\n' "$stations" "$single"

for jobs in 1 2; do
  start=$(now)
  "$batch" --stations "$work/stations.csv" --out "$work/out$jobs" --jobs "$jobs" --quiet "${opts[@]}"
  took=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
  awk -v t="$took" -v s="$single" -v j="$jobs" \
    'BEGIN { printf "campaign --jobs %d: %.1f s elapsed, %.2f x the sum of the station runs divided by %d\n", j, t, t / (s / j), j }'
done
cmp -s "$work/out1/summary.csv" "$work/out2/summary.csv" && echo "summary.csv: the same bytes for --jobs 1 and 2"

# On a terminal: script(1) gives the campaign a pseudo-terminal; the progress
# line is rewritten in place (carriage returns) and ends with one newline.
script -qec "$batch --stations $work/stations.csv --out $work/tty --jobs 2 ${opts[*]}" /dev/null >"$work/tty.txt" </dev/null
updates=$(tr -cd '\r' <"$work/tty.txt" | wc -c)
lines=$(grep -c '' "$work/tty.txt")
echo "on a terminal: $lines lines (the progress line, rewritten $updates times, then the report):"
tr '\r' '\n' <"$work/tty.txt" | grep 'zarkel-batch: ' | tail -1
tr -d '\r' <"$work/tty.txt" | tail -n +2 | sed "s|$work/||" 
