#!/usr/bin/env bash
# The Windows programs over PNG_COUNT PNGs (2,000 by default) and two images, under Wine, against
# the platform's floor, in ROUNDS (5) rounds whose order turns: a Start driven through the window
# against runConversion alone in a plain process (each timed inside its process), and
# glyphwarden-cli.exe, plain and recorded (--json), against copy-floor.exe, which only
# CopyFileW's each PNG (each timed as a whole process, Wine's start included). Prints every
# round, the medians and their ratios, and the bests beside them: a best hides what a user
# meets, a median does not.
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
build_windows glyphwarden-drive time-conversion copy-floor

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
# A whole process under Wine, timed from here in ms.
timed() {
  local started ended
  started=$(date +%s%N)
  "$@" >"$data/timed.log" 2>&1 </dev/null || { echo "run_window_bench.sh: failed: $*" >&2; cat "$data/timed.log" >&2; return 1; }
  ended=$(date +%s%N)
  ms=$(( (ended - started) / 1000000 ))
}
run_paths() {
  echo --original-firmware "$(windows_path "$data/firmwares/BENCH_W800.bin")" \
       --new-firmware "$(windows_path "$data/firmwares/BENCH_W810.bin")" \
       --original-gfx "$(windows_path "$data/gfx-original")" --new-gfx "$(windows_path "$data/gfx-new")"
}
floor_run() {
  fresh
  timed "$wine_run" "$wine_bin/copy-floor.exe" "$(windows_path "$data/gfx-original")" "$(windows_path "$data/gfx-new")"
  copied "copy-floor.exe"
  inner=$(tr -d '\r' <"$data/timed.log")
  echo "   CopyFileW alone (copy-floor.exe): $ms ms, $inner ms of it copying"
  floor_all+=("$ms")
  floor_inner+=("$inner")
}
cli_run() {
  fresh
  # shellcheck disable=SC2046  # the paths hold no spaces: the data folder is the build's
  timed "$wine_run" "$wine_bin/glyphwarden-cli.exe" $(run_paths)
  copied "glyphwarden-cli.exe"
  echo "   glyphwarden-cli.exe: $ms ms"
  cli_all+=("$ms")
}
recorded_run() {
  fresh
  rm -f "$data/record.json"
  # shellcheck disable=SC2046
  timed "$wine_run" "$wine_bin/glyphwarden-cli.exe" $(run_paths) --json "$(windows_path "$data/record.json")"
  copied "glyphwarden-cli.exe --json"
  echo "   glyphwarden-cli.exe --json: $ms ms"
  recorded_all+=("$ms")
}
window_all=() plain_all=() floor_all=() floor_inner=() cli_all=() recorded_all=()
runs=(window_run plain_run floor_run cli_run recorded_run)
# The order turns from round to round, so no side always runs on the heels of the same other.
rounds=${ROUNDS:-5}
[ "$rounds" -ge 5 ] || { echo "run_window_bench.sh: ROUNDS must be at least 5" >&2; exit 2; }
for round in $(seq "$rounds"); do
  stage "round $round of $rounds"
  for i in $(seq 0 $((${#runs[@]} - 1))); do
    "${runs[$(( (i + round) % ${#runs[@]} ))]}"
  done
done
python3 - "$windows_preset" "$count" "${window_all[*]}" "${plain_all[*]}" "${floor_all[*]}" "${cli_all[*]}" \
  "${recorded_all[*]}" "${floor_inner[*]}" <<'PY'
import statistics, sys
preset, count = sys.argv[1], int(sys.argv[2])
window, plain, floor, cli, recorded, floor_inner = ([int(x) for x in a.split()] for a in sys.argv[3:9])
def pair(what, a, b, against):
    ma, mb = statistics.median(a), statistics.median(b)
    print(f"   {what}: medians {ma:.0f} ms against {against} {mb:.0f} ms, ratio {ma / max(mb, 1):.2f} "
          f"(bests {min(a)} / {min(b)} ms, {min(a) / max(min(b), 1):.2f})")
print(f"== {preset} build under Wine, {count:,} PNGs:")
pair("Start through the window", window, plain, "runConversion alone")
pair("Start through the window", window, floor_inner, "CopyFileW alone")
pair("runConversion alone", plain, floor_inner, "CopyFileW alone")
pair("glyphwarden-cli.exe", cli, floor, "CopyFileW alone (whole processes)")
pair("glyphwarden-cli.exe --json", recorded, cli, "a plain run")
PY
