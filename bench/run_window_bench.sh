#!/usr/bin/env bash
# A Start over PNG_COUNT PNGs (2,000 by default) driven through the window, against
# runConversion alone in a plain process for the same work, both under Wine, in ROUNDS (5)
# alternating rounds. Prints every round, the medians and their ratio, and the bests beside
# them: a best hides what a user meets, a median does not.
#   bash bench/run_window_bench.sh [PNG_COUNT]
cd "$(dirname "$0")/.."
source tools/stages.sh
source tools/wine_session.sh
count=${1:-2000}
bash tools/setup.sh

stage "build the benchmark data generator and the Windows programs"
dpkg -s libbenchmark-dev >/dev/null 2>&1 || {
  quietly build/logs/apt-update.log apt-get update
  quietly build/logs/apt-benchmark.log apt-get install -y libbenchmark-dev
}
quietly build/logs/configure-bench.log cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_BENCH=ON -DGLYPHWARDEN_TESTS=OFF
quietly build/logs/build-bench.log cmake --build build/bench -j "$(nproc)" --target make-bench-data
choose_windows_preset
build_windows glyphwarden-drive time-conversion

stage "make $count PNGs and two firmware images"
data=$PWD/build/bench/window-data
rm -rf "$data"
quietly build/logs/make-bench-data.log build/bench/bin/make-bench-data "$data/raw" "$count"
mkdir -p "$data/firmwares"
mv "$data/raw/original.bin" "$data/firmwares/BENCH_W800.bin"
mv "$data/raw/new.bin" "$data/firmwares/BENCH_W810.bin"
mv "$data/raw/gfx-original" "$data/gfx-original"
rm -rf "$data/raw"

stage "start Wine with a display"
start_wine_session

# Each run starts with the last one's copies gone and written out, so neither pays for the other.
fresh() { rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; sync; }
copied() {
  local copies
  copies=$(find "$data/gfx-new" -name '*.png' | wc -l)
  [ "$copies" -eq "$count" ] || { echo "run_window_bench.sh: $1 copied $copies of the $count PNGs" >&2; return 1; }
}
window_run() {
  fresh
  (cd "$data" && quietly "$data/drive.log" "$wine_run" "$wine_bin/glyphwarden-drive.exe" \
     "$(windows_path "$data/gfx-original")" "$(windows_path "$data/gfx-new")")
  copied "the window run"
  ms=$(sed -n 's/^start to Whew: \([0-9]*\) ms.*/\1/p' "$data/drive.log")
  [ -n "$ms" ] || { echo "run_window_bench.sh: glyphwarden-drive.exe printed no time" >&2; false; }
  echo "   Start through the window: $ms ms"
  window_all+=("$ms")
  return 0
}
plain_run() {
  fresh
  ms=$("$wine_run" "$wine_bin/time-conversion.exe" "$(windows_path "$data/firmwares/BENCH_W800.bin")" \
         "$(windows_path "$data/firmwares/BENCH_W810.bin")" "$(windows_path "$data/gfx-original")" \
         "$(windows_path "$data/gfx-new")" </dev/null | tr -d '\r')
  copied "runConversion alone"
  echo "   runConversion alone: $ms ms"
  plain_all+=("$ms")
  return 0
}
window_all=() plain_all=()
# The order alternates, so neither side always runs on the heels of the other's clean-up.
rounds=${ROUNDS:-5}
[ "$rounds" -ge 5 ] || { echo "run_window_bench.sh: ROUNDS must be at least 5" >&2; exit 2; }
for round in $(seq "$rounds"); do
  stage "round $round of $rounds: Start through the window and runConversion alone"
  if [ $((round % 2)) -eq 1 ]; then window_run; plain_run; else plain_run; window_run; fi
done
python3 - "$windows_preset" "$count" "${window_all[*]}" "${plain_all[*]}" <<'PY'
import statistics, sys
preset, count = sys.argv[1], int(sys.argv[2])
window, plain = [int(x) for x in sys.argv[3].split()], [int(x) for x in sys.argv[4].split()]
mw, mp = statistics.median(window), statistics.median(plain)
print(f"== {preset} build under Wine, {count:,} PNGs: medians Start through the window {mw:.0f} ms, "
      f"runConversion alone {mp:.0f} ms, ratio {mw / max(mp, 1):.2f} "
      f"(bests {min(window)} / {min(plain)} ms, {min(window) / max(min(plain), 1):.2f})")
PY
