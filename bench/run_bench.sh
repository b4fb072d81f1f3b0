#!/usr/bin/env bash
# Speed and memory of the translation: search benchmark, whole runs of 2,000 and 20,000 PNGs
# against their floor (both images read once and cp of the same PNGs), and peak heap. Prints each
# figure and each ratio; ROUNDS (7) sets the rounds of each whole run (three times as many at
# 2,000 PNGs).
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

# On a memory file system by default: a virtual disk's write-back makes rounds on it differ by
# several times; BENCH_DATA=build/bench/data measures on the disk instead.
data=${BENCH_DATA:-/dev/shm/glyphwarden-bench}
trap 'rm -rf /dev/shm/glyphwarden-bench' EXIT
run() { "$bin/glyphwarden-cli" --original-firmware "$data/original.bin" --new-firmware "$data/new.bin" \
          --original-gfx "$data/gfx-original" --new-gfx "$data/gfx-new" "$@" >/dev/null; }
# With a record: both images and every PNG hashed (SHA-256) besides.
recorded() { run --json "$data/record.json"; }
floor() { cat "$data/original.bin" "$data/new.bin" >/dev/null; cp "$data"/gfx-original/*.png "$data/gfx-new/"; }
timed() {  # ms of one round into an empty new folder
  rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; sync
  local t0 t1; t0=$(date +%s%N); "$@"; t1=$(date +%s%N); echo $(( (t1 - t0) / 1000000 ))
}
ROUNDS=${ROUNDS:-7}
for count in 2000 20000; do
  # A round of 2,000 PNGs takes some 70 ms, which this machine's noise moves by a tenth: three
  # times the rounds, so that the medians hold still.
  rounds=$((count == 2000 ? 3 * ROUNDS : ROUNDS))
  stage "whole run of $count PNGs against the floor (read both images, cp the same PNGs), $rounds rounds"
  "$bin/make-bench-data" "$data" "$count"
  runs=() floors=() records=()
  for round in $(seq "$rounds"); do
    # Alternating order, so that neither side always meets a warmer cache.
    if [ $((round % 2)) -eq 1 ]; then runs+=("$(timed run)"); floors+=("$(timed floor)"); records+=("$(timed recorded)")
    else records+=("$(timed recorded)"); floors+=("$(timed floor)"); runs+=("$(timed run)"); fi
  done
  python3 - "$count" "${runs[*]}" "${floors[*]}" "${records[*]}" <<'PY'
import statistics, sys
count = int(sys.argv[1])
runs, floors, records = ([int(x) for x in arg.split()] for arg in sys.argv[2:5])
print(f"   rounds: glyphwarden-cli {runs} ms, floor {floors} ms, with --json {records} ms")
mr, mf, mj = statistics.median(runs), statistics.median(floors), statistics.median(records)
print(f"== whole run of {count:,} PNGs: median glyphwarden-cli {mr:.0f} ms, floor {mf:.0f} ms, ratio {mr/max(mf,1):.2f}"
      f" (bests {min(runs)} / {min(floors)} ms, {min(runs)/max(min(floors),1):.2f})")
print(f"== the same with --json (every file hashed): median {mj:.0f} ms, ratio to the floor {mj/max(mf,1):.2f}"
      f" (best {min(records)} ms, {min(records)/max(min(floors),1):.2f})")
PY
done

"$bin/make-bench-data" "$data"
rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"
valgrind --tool=massif --massif-out-file=build/bench/massif.out "$bin/glyphwarden-cli" --original-firmware "$data/original.bin" \
  --new-firmware "$data/new.bin" --original-gfx "$data/gfx-original" --new-gfx "$data/gfx-new" >/dev/null 2>&1
peak=$(grep -E '^mem_heap_B=' build/bench/massif.out | cut -d= -f2 | sort -n | tail -1)
echo "== peak heap of that run: $peak bytes ($(python3 -c "print(f'{$peak/1048576:.2f}')") MiB)"
