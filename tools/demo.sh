#!/usr/bin/env bash
# The tool's main job on the bundled sample, through its window: builds Glyphwarden.exe, makes
# a demo working directory from the sample, starts the program under Wine, fills in the two
# graphics folders, presses Start, prints the console text and saves a screenshot.
#   bash tools/demo.sh              at 96 DPI
#   GLYPHWARDEN_DPI=144 bash tools/demo.sh
cd "$(dirname "$0")/.."
source tools/stages.sh
source tools/wine_session.sh
dpi=${GLYPHWARDEN_DPI:-96}

stage "install what is missing"
bash tools/setup.sh demo
stage "build the sample generator and Glyphwarden.exe"
quietly build/logs/configure-linux.log cmake --preset linux
quietly build/logs/build-linux.log cmake --build --preset linux -j "$(nproc)" --target make-sample
choose_windows_preset
build_windows Glyphwarden glyphwarden-drive

stage "make the demo working directory from the sample"
demo=$PWD/build/demo
rm -rf "$demo"
quietly build/logs/make-sample.log build/linux/bin/make-sample "$demo"
rm -f "$demo/expected-console.txt"
echo "   working directory: $(windows_path "$demo") (its firmwares folder holds the sample images)"
echo "   original GFX path: $(windows_path "$demo/gfx-original")"
echo "   new GFX path:      $(windows_path "$demo/gfx-new")"

stage "start Wine with a display"
if [ "$dpi" != 96 ]; then
  # Another DPI gets its own prefix, so the tests' prefix stays at 96.
  export GLYPHWARDEN_WINEPREFIX=$PWD/build/$windows_preset/wineprefix-dpi$dpi
fi
start_wine_session
"$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null

stage "fill in the folders, press Start, take a screenshot"
screenshot=$demo/glyphwarden-${dpi}dpi.png
log=$demo/drive.log
(cd "$demo" && "$wine_run" "$wine_bin/glyphwarden-drive.exe" "$(windows_path "$demo/gfx-original")" \
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
driven=0
wait $driver || driven=$?
rm -f "$demo/screenshot-taken"

echo "== the console after Start:"
tr -d '\r' <"$demo/console.txt"
grep -v holding "$log" || true
copies=$(find "$demo/gfx-new" -name '*.png' | wc -l)
echo "== $copies PNGs now in $(windows_path "$demo/gfx-new")"
[ -s "$screenshot" ] && echo "== screenshot: $screenshot"

stage "check what the run did"
[ "$driven" -eq 0 ] || { echo "demo.sh: glyphwarden-drive.exe failed (exit $driven): $(tr -d '\r' <"$log")" >&2; exit 1; }
tr -d '\r' <"$demo/console.txt" | grep -qx "Whew..." || { echo "demo.sh: the console does not end the run with Whew..." >&2; exit 1; }
[ "$copies" -gt 0 ] || { echo "demo.sh: no PNG was copied into gfx-new" >&2; exit 1; }
[ -s "$screenshot" ] || { echo "demo.sh: no screenshot was taken" >&2; exit 1; }
echo "== demo.sh: done with the $windows_preset build"
