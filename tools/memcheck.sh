#!/usr/bin/env bash
# The native test suite under valgrind memcheck, the programs it starts included: no invalid
# access, no use of uninitialised memory, no leak.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" >/dev/null
valgrind --vgdb=no --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --suppressions=tools/valgrind.supp --trace-children=yes --trace-children-skip='*/bash,*/sh' -q \
  build/linux/bin/glyphwarden_tests --gtest_brief=1
echo "memcheck: clean"
