#!/usr/bin/env bash
# Builds every preset and runs every test: native, native with sanitizers, and the Windows
# builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

jobs=$(nproc)
build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs" >/dev/null
}

for preset in linux asan; do
  build "$preset"
  ctest --preset "$preset" -j "$jobs"
done
bash tools/memcheck.sh
bash tools/fuzz.sh

# Wine: start the build's own prefix once, then keep one wineserver up for the whole run, its
# output away from CTest's pipes, so each test does not pay Wine's start-up.
wine_tests() {
  local preset=$1 dir=build/$1
  build "$preset"
  local server
  server=$(sed -n 's/^export WINESERVER="\(.*\)"/\1/p' "$dir/wine-run.sh")
  export WINEPREFIX=$PWD/$dir/wineprefix
  # The first run creates the prefix; the persistent server then starts Wine's services with
  # their output in /dev/null.
  "$dir/wine-run.sh" "$dir/bin/glyphwarden-cli.exe" --version >/dev/null 2>&1 </dev/null || return 1
  "$server" -w
  "$server" -p >/dev/null 2>&1 </dev/null
  "$dir/wine-run.sh" "$dir/bin/glyphwarden-cli.exe" --version >/dev/null 2>&1 </dev/null
  local status=0
  ctest --preset "$preset" || status=$?
  "$server" -k || true
  "$server" -w || true
  return $status
}

# The window tests need an X server; a bare Xvfb of our own, stopped at the end.
source tools/virtual_display.sh
start_virtual_display

wine_tests windows64
# The 32-bit programs are the product; they run wherever the kernel runs 32-bit programs.
build windows
if build/windows/wine-run.sh build/windows/bin/glyphwarden-cli.exe --version >/dev/null 2>&1 </dev/null; then
  wine_tests windows
else
  echo "note: this kernel cannot run 32-bit programs; the 32-bit build was built, its tests ran as the 64-bit build"
fi
