#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, ASan+UBSan) and runs each for a bounded time,
# FUZZ_SECONDS each (60 by default). Inputs in fuzz/regressions/<target> are run first, every
# time; a crash is saved under build/fuzz/artifacts and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target graphic_number_fuzz console_log_fuzz pair_search_fuzz >/dev/null
mkdir -p build/fuzz/artifacts
status=0
for target in graphic_number console_log pair_search; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  if build/fuzz/bin/${target}_fuzz "$corpus" "fuzz/regressions/$target" -max_total_time="$seconds" \
       -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/$target- >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    units=$(ls "$corpus" | wc -l)
    echo "fuzz $target: $runs executions in ${seconds} s, corpus of $units inputs, no fault"
  else
    echo "fuzz $target: FAULT, see $log and build/fuzz/artifacts"; tail -20 "$log"
    status=1
  fi
done
exit $status
