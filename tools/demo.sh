#!/usr/bin/env bash
# The tool's main job on the bundled sample, through its window: builds Glyphwarden.exe, makes
# a demo working directory from the sample, starts the program under Wine, fills in the two
# graphics folders, presses Start, prints the console text and saves a screenshot.
#   bash tools/demo.sh              at 96 DPI
#   GLYPHWARDEN_DPI=144 bash tools/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
dpi=${GLYPHWARDEN_DPI:-96}

cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target make-sample glyphwarden-cli >/dev/null
source tools/windows_programs.sh
build_windows_programs Glyphwarden glyphwarden-drive
preset=$windows_preset
[ "$preset" = windows ] || echo "note: this kernel cannot run 32-bit programs; showing the 64-bit build of the same code"
bin=$PWD/build/$preset/bin

demo=$PWD/build/demo
rm -rf "$demo"
build/linux/bin/make-sample "$demo" >/dev/null
rm -f "$demo/expected-console.txt"
echo "== demo working directory: $(windows_path "$demo") (its firmwares folder holds the sample images)"
echo "   original GFX path: $(windows_path "$demo/gfx-original")"
echo "   new GFX path:      $(windows_path "$demo/gfx-new")"

if [ -z "${DISPLAY:-}" ]; then
  source tools/virtual_display.sh
  start_virtual_display
  echo "   (no display: using a virtual one, $DISPLAY)"
fi

if [ "$dpi" != 96 ]; then
  # Another DPI gets its own prefix, so the tests' prefix stays at 96.
  export GLYPHWARDEN_WINEPREFIX=$PWD/build/$preset/wineprefix-dpi$dpi
fi
run="build/$preset/wine-run.sh"
"$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null

screenshot=$demo/glyphwarden-${dpi}dpi.png
log=$demo/drive.log
(cd "$demo" && "$OLDPWD/$run" "$bin/glyphwarden-drive.exe" "$(windows_path "$demo/gfx-original")" \
   "$(windows_path "$demo/gfx-new")" --hold screenshot-taken >console.txt 2>"$log" </dev/null) &
driver=$!
for _ in $(seq 600); do
  grep -q "holding" "$log" 2>/dev/null && break
  kill -0 $driver 2>/dev/null || break
  sleep 0.2
done
if grep -q "holding" "$log"; then
  xwd -silent -name Glyphwarden | xwdtopnm 2>/dev/null | pnmtopng >"$screenshot" 2>/dev/null || true
fi
touch "$demo/screenshot-taken"
status=0
wait $driver || status=$?
rm -f "$demo/screenshot-taken"

echo "== the console after Start:"
tr -d '\r' <"$demo/console.txt"
grep -v holding "$log" || true
echo "== $(ls "$demo/gfx-new" | wc -l) PNGs now in $(windows_path "$demo/gfx-new")"
[ -s "$screenshot" ] && echo "== screenshot: $screenshot" || echo "== no screenshot was taken"
exit $status
