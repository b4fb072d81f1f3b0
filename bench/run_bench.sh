#!/usr/bin/env bash
# Speed and memory of the translation: search benchmark, whole run against a cp baseline, and
# peak heap. Prints each figure and each ratio.
cd "$(dirname "$0")/.."
source tools/stages.sh
bash tools/setup.sh
stage "build the benchmarks"
dpkg -s libbenchmark-dev >/dev/null 2>&1 || {
  quietly build/logs/apt-update.log apt-get update
  quietly build/logs/apt-benchmark.log apt-get install -y libbenchmark-dev
}
quietly build/logs/configure-bench.log cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_BENCH=ON -DGLYPHWARDEN_TESTS=OFF
quietly build/logs/build-bench.log cmake --build build/bench -j "$(nproc)"
bin=build/bench/bin

stage "search: literal against index, two 32 MiB images"
"$bin/search-bench" --benchmark_format=json --benchmark_out=build/bench/search.json --benchmark_min_time=0.2 >/dev/null
python3 - build/bench/search.json <<'PY'
import json, sys
runs = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
for n in (1, 100, 2000):
    lit, idx = runs[f"literalSearch/{n}"], runs[f"indexedSearch/{n}"]
    print(f"{n:5d} PNGs: literal {lit:10.2f} ms  index {idx:8.2f} ms  literal/index {lit/idx:8.1f}x  index/literal {idx/lit:5.2f}")
PY

data=build/bench/data
"$bin/make-bench-data" "$data"
sync
run() { rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; "$bin/glyphwarden-cli" --original-firmware "$data/original.bin" \
        --new-firmware "$data/new.bin" --original-gfx "$data/gfx-original" --new-gfx "$data/gfx-new" >/dev/null; }
baseline() { rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; cat "$data/original.bin" "$data/new.bin" >/dev/null
             cp "$data"/gfx-original/*.png "$data/gfx-new/"; }
best() {  # best of five, in ms
  local best=999999 t0 t1 ms
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N); "$@"; t1=$(date +%s%N); ms=$(( (t1 - t0) / 1000000 )); [ "$ms" -lt "$best" ] && best=$ms
  done
  echo "$best"
}
run_ms=$(best run); base_ms=$(best baseline)
echo "== whole run of 2,000 PNGs: glyphwarden-cli $run_ms ms, baseline (read both images, cp the files) $base_ms ms," \
     "ratio $(python3 -c "print(f'{$run_ms/max($base_ms,1):.2f}')")"

rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"
valgrind --tool=massif --massif-out-file=build/bench/massif.out "$bin/glyphwarden-cli" --original-firmware "$data/original.bin" \
  --new-firmware "$data/new.bin" --original-gfx "$data/gfx-original" --new-gfx "$data/gfx-new" >/dev/null 2>&1
peak=$(grep -E '^mem_heap_B=' build/bench/massif.out | cut -d= -f2 | sort -n | tail -1)
echo "== peak heap of that run: $peak bytes ($(python3 -c "print(f'{$peak/1048576:.2f}')") MiB)"
