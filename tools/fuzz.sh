#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, ASan+UBSan) and runs each for a bounded time,
# FUZZ_SECONDS each (60 by default). Inputs in fuzz/regressions/<target> are run first, every
# time; a crash is saved under build/fuzz/artifacts and fails the run.
cd "$(dirname "$0")/.."
source tools/stages.sh
bash tools/setup.sh
seconds=${FUZZ_SECONDS:-60}
stage "build the fuzz targets"
quietly build/logs/configure-fuzz.log cmake --preset fuzz
quietly build/logs/build-fuzz.log cmake --build --preset fuzz -j "$(nproc)" \
  --target graphic_number_fuzz console_log_fuzz pair_search_fuzz record_reader_fuzz
mkdir -p build/fuzz/artifacts
failed=()
for target in graphic_number console_log pair_search record_reader; do
  stage "fuzz $target for $seconds s"
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  if build/fuzz/bin/${target}_fuzz "$corpus" "fuzz/regressions/$target" -max_total_time="$seconds" \
       -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/$target- >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    units=$(ls "$corpus" | wc -l)
    echo "   $target: $runs executions in ${seconds} s, corpus of $units inputs, no fault"
  else
    echo "   $target: FAULT, see $log and build/fuzz/artifacts"; tail -20 "$log"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  stage "report"
  echo "fuzz.sh: the fuzzers ${failed[*]} found a fault" >&2
  exit 1
fi
