#!/usr/bin/env bash
# Whole runs of two builds against each other: what one change buys (or costs) on the benchmark
# of bench/run_bench.sh.
#   bash bench/compare_builds.sh BASE_BIN_DIR VARIANT_BIN_DIR [COUNTS]
# Each BIN_DIR holds glyphwarden-cli (and BASE's make-bench-data, which makes the data once per
# count); COUNTS are PNG counts, "2000 20000" by default. Each round times four whole runs into an
# emptied new folder, plain and with --json, base and variant in turned orders; ROUNDS sets the
# rounds of every count (31 at 2,000 PNGs, 11 at more by default); BASE_ARGS and VARIANT_ARGS add
# options to each side's runs (VARIANT_ARGS="--threads 1" holds one build to itself). Prints the median, quartiles
# and extremes of the wall time and of the processor time (user and system), and the gain of base
# over variant: (variant - base) / variant.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: bash bench/compare_builds.sh BASE_BIN_DIR VARIANT_BIN_DIR [COUNTS]" >&2; exit 2; }
base=$(cd "$1" && pwd) variant=$(cd "$2" && pwd)
counts=${3:-2000 20000}

# On a memory file system, as in bench/run_bench.sh: a virtual disk's write-back swamps the rest.
data=${BENCH_DATA:-/dev/shm/glyphwarden-compare}
trap 'rm -rf "$data"' EXIT
run() {  # base|variant [--json]: one whole run
  local bin=$base extra=${BASE_ARGS:-}
  [ "$1" = variant ] && bin=$variant extra=${VARIANT_ARGS:-}
  shift
  # shellcheck disable=SC2086 # the options, word by word
  "$bin/glyphwarden-cli" $extra --original-firmware "$data/original.bin" --new-firmware "$data/new.bin" \
    --original-gfx "$data/gfx-original" --new-gfx "$data/gfx-new" ${1:+--json "$data/record.json"} >"$data/out.txt"
}
timed() {  # one run into an empty new folder: its microseconds, and its processor time (user and system) in ms
  rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; sync
  local TIMEFORMAT="%3U %3S" t0=$EPOCHREALTIME t1 user sys
  { time run "$@" 2>"$data/err.txt"; } 2>"$data/cpu.txt"; t1=$EPOCHREALTIME
  read -r user sys <"$data/cpu.txt"
  echo "$(( ${t1/./} - ${t0/./} )):$(( 10#${user/./} + 10#${sys/./} ))"
}
# What a run printed and recorded, less the file identities (which differ from run to run).
outputs() { run "$@"; cat "$data/out.txt"; [ -z "${2:-}" ] || sed -E 's/"identity": "[^"]*"/"identity": ""/g' "$data/record.json"; }

for count in $counts; do
  rounds=${ROUNDS:-$((count <= 2000 ? 31 : 11))}
  "$base/make-bench-data" "$data" "$count"
  # A comparison of two builds that do not do the same is no comparison.
  for mode in "" json; do
    rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; outputs base $mode >"$data/base-output"
    rm -rf "$data/gfx-new"; mkdir "$data/gfx-new"; outputs variant $mode >"$data/variant-output"
    cmp -s "$data/base-output" "$data/variant-output" || { echo "the builds differ at $count PNGs ${mode:+(--json)}" >&2; exit 1; }
  done
  run base; run variant  # warm both programs' files
  bp=() vp=() bj=() vj=()
  for round in $(seq "$rounds"); do
    # A B B A, turned the other way every other round: neither side nor kind always goes first.
    if [ $((round % 2)) -eq 1 ]; then
      bp+=("$(timed base)"); vp+=("$(timed variant)"); vj+=("$(timed variant json)"); bj+=("$(timed base json)")
    else
      bj+=("$(timed base json)"); vj+=("$(timed variant json)"); vp+=("$(timed variant)"); bp+=("$(timed base)")
    fi
  done
  python3 - "$count" "$rounds" "${bp[*]}" "${vp[*]}" "${bj[*]}" "${vj[*]}" <<'PY'
import statistics, sys
count, rounds = int(sys.argv[1]), int(sys.argv[2])
# Each round's four runs: (wall ms, processor ms) of base, variant, base --json, variant --json.
bp, vp, bj, vj = ([tuple(int(y) for y in x.split(":")) for x in arg.split()] for arg in sys.argv[3:7])
def spread(xs):
    q1, q2, q3 = statistics.quantiles(xs, n=4, method="inclusive")
    return f"median {q2:8.2f} ms  quartiles {q1:8.2f}-{q3:8.2f}  min-max {min(xs):8.2f}-{max(xs):8.2f}"
print(f"== {count:,} PNGs, {rounds} rounds")
for kind, base, variant in (("plain ", bp, vp), ("--json", bj, vj)):
    for what, i, scale in (("wall", 0, 1000), ("cpu ", 1, 1)):
        b, v = [r[i] / scale for r in base], [r[i] / scale for r in variant]
        print(f"   {kind} {what} base    {spread(b)}")
        print(f"   {kind} {what} variant {spread(v)}")
        mb, mv = statistics.median(b), statistics.median(v)
        # The same round's two runs met the same state of the machine: their gains show the noise.
        gains = [100 * (y - x) / y for x, y in zip(b, v)]
        q1, q2, q3 = statistics.quantiles(gains, n=4, method="inclusive")
        print(f"   {kind} {what} gain of base over variant {100 * (mv - mb) / mv:+6.2f}% by medians;"
              f" per round median {q2:+6.2f}%, quartiles {q1:+6.2f}% to {q3:+6.2f}%,"
              f" base faster in {sum(g > 0 for g in gains)}/{len(gains)}")
for name, runs in (("base", bp), ("variant", vp), ("base --json", bj), ("variant --json", vj)):
    print(f"   rounds of {name} (wall ms:processor ms): {' '.join(f'{w / 1000:.1f}:{c}' for w, c in runs)}")
PY
done
