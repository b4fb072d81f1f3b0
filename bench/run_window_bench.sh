#!/usr/bin/env bash
# A Start over 2,000 PNGs driven through the window, against runConversion alone in a plain
# process for the same work, both under Wine. Prints the best of three of each and the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
dpkg -s libbenchmark-dev >/dev/null 2>&1 || { apt-get update -qq >/dev/null; apt-get install -y -qq libbenchmark-dev >/dev/null; }
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_BENCH=ON -DGLYPHWARDEN_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" --target make-bench-data >/dev/null

source tools/windows_programs.sh
build_windows_programs glyphwarden-drive time-conversion
preset=$windows_preset
run=build/$preset/wine-run.sh
bin=$PWD/build/$preset/bin
echo "== $preset build under Wine"

data=$PWD/build/bench/window-data
rm -rf "$data"
build/bench/bin/make-bench-data "$data/raw" >/dev/null
mkdir -p "$data/firmwares"
mv "$data/raw/original.bin" "$data/firmwares/BENCH_W800.bin"
mv "$data/raw/new.bin" "$data/firmwares/BENCH_W810.bin"
mv "$data/raw/gfx-original" "$data/gfx-original"
rm -rf "$data/raw"

if [ -z "${DISPLAY:-}" ]; then
  source tools/virtual_display.sh
  start_virtual_display
fi

fresh() { rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; }
window_best=999999 plain_best=999999
for _ in 1 2 3; do
  fresh
  ms=$(cd "$data" && "$OLDPWD/$run" "$bin/glyphwarden-drive.exe" "$(windows_path "$data/gfx-original")" "$(windows_path "$data/gfx-new")" \
         2>&1 >/dev/null </dev/null | sed -n 's/^start to Whew: \([0-9]*\) ms.*/\1/p')
  [ "$(ls "$data/gfx-new" | wc -l)" -ge 2000 ] || { echo "the window run did not copy the 2,000 PNGs"; exit 1; }
  [ "$ms" -lt "$window_best" ] && window_best=$ms
  fresh
  ms=$("$run" "$bin/time-conversion.exe" "$(windows_path "$data/firmwares/BENCH_W800.bin")" "$(windows_path "$data/firmwares/BENCH_W810.bin")" \
         "$(windows_path "$data/gfx-original")" "$(windows_path "$data/gfx-new")" </dev/null | tr -d '\r')
  [ "$ms" -lt "$plain_best" ] && plain_best=$ms
done
echo "== Start over 2,000 PNGs through the window: $window_best ms; runConversion alone: $plain_best ms;" \
     "ratio $(python3 -c "print(f'{$window_best/max($plain_best,1):.2f}')")"
