#!/usr/bin/env bash
# Runs glyphwarden-cli over the generated sample and checks its console text and its copies.
#   sample_run_test.sh MAKE_SAMPLE GLYPHWARDEN_CLI WORK_FOLDER
set -euo pipefail
make_sample=$1 cli=$2 work=$3
"$make_sample" "$work"
fw="$work/firmwares"
before=$(sha256sum "$fw"/* "$work"/gfx-original/*)
"$cli" --original-firmware "$fw/PHONE_W800_R1A.bin" --new-firmware "$fw/PHONE_W810_R4E.bin" \
       --original-gfx "$work/gfx-original" --new-gfx "$work/gfx-new" > "$work/console.txt"
# The size lines come first; the walk's order of the copy lines is the file system's.
diff <(head -3 "$work/expected-console.txt") <(head -3 "$work/console.txt")
diff <(tail -n +4 "$work/expected-console.txt" | sort) <(tail -n +4 "$work/console.txt" | sort)
[ "$before" = "$(sha256sum "$fw"/* "$work"/gfx-original/*)" ] || { echo "inputs changed"; exit 1; }
copies=$(ls "$work/gfx-new" | wc -l)
expected=$(( $(wc -l < "$work/expected-console.txt") - 3 ))
[ "$copies" -eq "$expected" ] || { echo "expected $expected copies, found $copies"; exit 1; }
echo "sample run: $copies copies, console text as expected"
