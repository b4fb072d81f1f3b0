# Sourced by every script that runs the Windows programs (after tools/stages.sh). The one place
# that chooses the Windows build, starts the display and starts the prefix's Wine session, in
# that order: a Wine session started without a display never shows a window.
#   choose_windows_preset        sets windows_preset and says which build it is
#   build_windows TARGET...      builds those targets of the chosen build
#   start_wine_session           display (a virtual one when there is none), then the prefix
#   stop_wine_session            ends the prefix's wineserver
# After start_wine_session: wine_run runs a program under Wine, wine_bin is the build's bin.
source "$(dirname "${BASH_SOURCE[0]}")/virtual_display.sh"

choose_windows_preset() {
  # The loader's --version starts no wineserver and touches no prefix.
  if [ ! -e /usr/lib/wine/wine ]; then
    windows_preset=windows64
    echo "   Windows build: 64-bit, the same code (the 32-bit Wine, wine32:i386, is not installed: tools/setup.sh said why)"
  elif /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; then
    windows_preset=windows
    echo "   Windows build: 32-bit, the product (this kernel runs 32-bit programs)"
  else
    windows_preset=windows64
    echo "   Windows build: 64-bit, the same code (this kernel cannot run 32-bit programs)"
  fi
  wine_run=$PWD/build/$windows_preset/wine-run.sh
  wine_bin=$PWD/build/$windows_preset/bin
}

build_windows() {
  quietly "build/logs/configure-$windows_preset.log" cmake --preset "$windows_preset"
  quietly "build/logs/build-$windows_preset.log" cmake --build --preset "$windows_preset" -j "$(nproc)" \
    --target glyphwarden-cli "$@"
}

start_wine_session() {
  if [ -z "${DISPLAY:-}" ]; then
    start_virtual_display
    echo "   no display: using a virtual one, $DISPLAY"
  fi
  # A wineserver left from an earlier script may hold a session on another display: end it.
  stop_wine_session
  # The first process makes the prefix, with the display. Then one persistent wineserver and a
  # first program under it start Wine's services with their output in a log: services started
  # by a later program would hold that program's output pipes (CTest's among them) open.
  quietly build/logs/wine-prefix.log "$wine_run" "$wine_bin/glyphwarden-cli.exe" --version
  "$wine_run" --server -w
  "$wine_run" --server -p >/dev/null 2>&1 </dev/null
  on_exit stop_wine_session
  quietly build/logs/wine-services.log "$wine_run" "$wine_bin/glyphwarden-cli.exe" --version
}

stop_wine_session() {
  "$wine_run" --server -k >/dev/null 2>&1 </dev/null || true
  "$wine_run" --server -w >/dev/null 2>&1 </dev/null || true
}

# A Linux path as Wine's programs see it, on drive Z:.
windows_path() { echo "Z:${1//\//\\}"; }
