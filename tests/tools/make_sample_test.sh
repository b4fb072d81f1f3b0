#!/usr/bin/env bash
# make-sample into the current folder, over its own earlier sample, beside a user's files of the
# same names, and where no folder can be made: a sample, or one clear line and no change.
#   make_sample_test.sh MAKE_SAMPLE WORK_FOLDER
set -euo pipefail
make_sample=$1 work=$2
rm -rf "$work"
mkdir -p "$work/here" "$work/users/gfx-new"
echo "the user's own" >"$work/users/gfx-new/0101.png"
touch "$work/a-file"

failures=0
# name | folder to run in | argument | exit | a file that must then hold its line (or -) | stderr must hold
while IFS='|' read -r name folder argument status keep said; do
  got=0
  (cd "$work/$folder" && "$make_sample" "$argument") >"$work/out" 2>&1 || got=$?
  problem=
  [ "$got" -eq "$status" ] || problem="exit $got, expected $status"
  [ -z "$said" ] || grep -qF -- "$said" "$work/out" || problem="$problem; no line with '$said'"
  [ "$keep" = - ] || grep -q "the user's own" "$work/$keep" || problem="$problem; $keep changed"
  [ "$status" -ne 0 ] || [ "$(ls "$work/$folder/gfx-original" | wc -l)" -eq 39 ] || problem="$problem; no sample"
  if [ -n "$problem" ]; then
    echo "FAIL $name: $problem; its output:"; cat "$work/out"; failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
done <<'EOF_TABLE'
into the current folder|here|.|0|-|
over its own earlier sample|here|.|0|-|
beside a user's folder of the same name|users|.|2|users/gfx-new/0101.png|./gfx-new already exists and is not part of a sample
under a file|.|a-file/sample|1|-|cannot make the folder a-file/sample/firmwares
EOF_TABLE
[ "$failures" -eq 0 ]
