#!/usr/bin/env bash
# The native test suite under valgrind memcheck, the programs it starts included: no invalid
# access, no use of uninitialised memory, no leak.
cd "$(dirname "$0")/.."
source tools/stages.sh
bash tools/setup.sh
stage "build the native suite"
quietly build/logs/configure-linux.log cmake --preset linux
quietly build/logs/build-linux.log cmake --build --preset linux -j "$(nproc)"
stage "the native suite under valgrind memcheck"
# Every valgrind the tests start must find the suppressions whatever its folder and its user (some
# run as nobody, who may not enter this checkout): a readable copy in the system's temporary folder.
suppressions=$(mktemp)
on_exit "rm -f '$suppressions'"
cp tools/valgrind.supp "$suppressions"
chmod 644 "$suppressions"
# The run's fault handler lets a read of a lost image page go on once zeros stand there; valgrind
# resumes such a read with the registers it had at that very access only when told to keep them
# all (without it, the index's block scan resumed with a stale pointer and read past a vector).
valgrind --vgdb=no --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --vex-iropt-register-updates=allregs-at-mem-access \
  --suppressions="$suppressions" --trace-children=yes --trace-children-skip='*/bash,*/sh' -q \
  build/linux/bin/glyphwarden_tests --gtest_brief=1
echo "memcheck: clean"
