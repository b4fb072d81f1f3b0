# Sourced by the scripts that run the Windows programs under Wine.

# build_windows_programs TARGET...: builds the targets in both Windows presets and sets
# windows_preset to the one to run: the 32-bit build (the product) where this kernel runs
# 32-bit programs, the 64-bit build of the same code where it does not.
build_windows_programs() {
  local candidate
  for candidate in windows windows64; do
    cmake --preset "$candidate" >/dev/null
    cmake --build --preset "$candidate" -j "$(nproc)" --target glyphwarden-cli "$@" >/dev/null
  done
  windows_preset=windows
  if ! build/windows/wine-run.sh build/windows/bin/glyphwarden-cli.exe --version >/dev/null 2>&1 </dev/null; then
    windows_preset=windows64
  fi
}

# A Linux path as Wine's programs see it, on drive Z:.
windows_path() { echo "Z:${1//\//\\}"; }
