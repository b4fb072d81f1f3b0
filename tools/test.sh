#!/usr/bin/env bash
# Builds every preset and runs every test: native, native with sanitizers and under memcheck,
# the fuzzers, the Windows build's suite under Wine (the 32-bit product where the kernel runs
# 32-bit programs, the 64-bit build of the same code elsewhere), the release, and the Quick
# start's demo.
#   bash tools/test.sh           everything (what CI runs)
#   bash tools/test.sh --quick   the loop for an edit: formatting, the native build and suite
cd "$(dirname "$0")/.."
source tools/stages.sh
source tools/wine_session.sh
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: bash tools/test.sh [--quick]" >&2; exit 2 ;;
esac
bash tools/setup.sh

stage "formatting (clang-format)"
sources=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests tools bench fuzz -name '*.cpp' -o -name '*.h')
unformatted=$(for f in $sources; do clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || echo "$f"; done)
if [ -n "$unformatted" ]; then
  echo "test.sh: these files differ from .clang-format (run clang-format -i on them):" $unformatted >&2
  false
fi

jobs=$(nproc)
build() {
  quietly "build/logs/configure-$1.log" cmake --preset "$1"
  quietly "build/logs/build-$1.log" cmake --build --preset "$1" -j "$jobs"
}

if $quick; then
  stage "build and test the linux preset"
  build linux
  ctest --preset linux -j "$jobs"
  echo "== test.sh --quick: formatting, native build and suite passed (bash tools/test.sh runs everything)"
  exit 0
fi

for preset in linux asan; do
  stage "build and test the $preset preset"
  build "$preset"
  ctest --preset "$preset" -j "$jobs"
done
stage "memcheck"
bash tools/memcheck.sh
stage "fuzz"
bash tools/fuzz.sh

stage "build the Windows programs"
choose_windows_preset
# The 32-bit programs are the product: they are always built, whichever build runs the tests.
build windows
[ "$windows_preset" = windows ] || build windows64

stage "the $windows_preset suite under Wine"
start_wine_session
ctest --preset "$windows_preset"
source tests/release/release_test.sh
release_test
stop_wine_session

# The Quick start's first command as a new user meets it: its own display and Wine session.
stage "the Quick start: tools/demo.sh"
quietly build/logs/demo.log env -u DISPLAY bash tools/demo.sh
grep -E '^(Whew\.\.\.|== [0-9]+ PNGs|== demo.sh)' build/logs/demo.log
echo "== test.sh: every stage passed"
