#!/usr/bin/env bash
# The --json record of a real run over the sample, validated against docs/run-record.schema.json
# with Debian's python3-jsonschema and with ajv in strict mode, and held to the console lines and
# the files of the run.
#   json_record_test.sh MAKE_SAMPLE GLYPHWARDEN_CLI WORK_FOLDER SCHEMA VALIDATORS
set -euo pipefail
make_sample=$1 cli=$2 work=$3 schema=$4 validators=$5
rm -rf "$work"
"$make_sample" "$work/sample" >/dev/null
sample=$work/sample
# A duplicate that is the same picture, one that is not, a failed copy, and a name that is not
# valid text.
cp "$sample/gfx-original/0100.png" "$sample/gfx-new/0300.png"
printf 'another picture' >"$sample/gfx-new/0318.png"
mkdir "$sample/gfx-new/0327.png"
cp "$sample/gfx-original/0100.png" "$sample/gfx-original/$(printf 'bad\xff.png')"
run() {
  local status=0
  "$cli" --original-firmware "$sample/firmwares/PHONE_W800_R1A.bin" --new-firmware "$sample/firmwares/PHONE_W810_R4E.bin" \
    --original-gfx "$sample/gfx-original" --new-gfx "$sample/gfx-new" "$@" >"$work/console.txt" || status=$?
  [ "$status" -eq 1 ] || { echo "glyphwarden-cli exited with $status, expected 1 for the failed copy"; exit 1; }
}
run --dry-run --json "$work/dry.json"
run --json "$work/run.json"
NODE_PATH=$validators/node_modules node -e '
const Ajv2020 = require("ajv/dist/2020"), fs = require("fs");
const validate = new Ajv2020({strict: true, allErrors: true}).compile(JSON.parse(fs.readFileSync(process.argv[1])));
for (const record of process.argv.slice(2))
  if (!validate(JSON.parse(fs.readFileSync(record)))) { console.log(record, validate.errors); process.exit(1); }
' "$schema" "$work/dry.json" "$work/run.json"
/usr/bin/python3 - "$schema" "$work" "$sample" <<'PY'
import hashlib, json, os, struct, sys
import jsonschema
schema_path, work, sample = sys.argv[1:]
schema = json.load(open(schema_path))
jsonschema.Draft202012Validator.check_schema(schema)
console = open(f"{work}/console.txt", encoding="utf-8").read().splitlines()
words = {"copied": "copied successfully", "duplicate": "duplicate", "copy failed": "copy failed."}
for name in ("dry.json", "run.json"):
    record = json.load(open(f"{work}/{name}"))
    jsonschema.validate(record, schema, cls=jsonschema.Draft202012Validator)
    assert record["dryRun"] == (name == "dry.json"), name
    graphics = record["graphics"]
    pngs = [n for n in os.listdir(os.fsencode(f"{sample}/gfx-original")) if n.lower().endswith(b".png")]
    assert record["counts"]["walked"] == len(graphics) == len(pngs), (name, len(graphics), len(pngs))
    if name == "run.json":
        lines = [f'{g["number"]:04X} -> {c["newNumber"]:04X} {words[c["result"]]}' for g in graphics for c in g["copies"]]
        assert lines == console[3:], f"record and console differ:\n{lines}\n{console[3:]}"
        for g in graphics:
            for c in g["copies"]:
                if c["result"] == "copied":
                    original = open(f'{sample}/gfx-original/{g["name"]}', "rb").read()
                    assert open(f'{sample}/gfx-new/{c["newNumber"]:04X}.png', "rb").read() == original
    # Each copy's evidence is in the images: the original pair carries the PNG's number, the new
    # pair is the first with the same anchor and carries the new number.
    images = [open(f'{sample}/firmwares/{n}', "rb").read() for n in ("PHONE_W800_R1A.bin", "PHONE_W810_R4E.bin")]
    pairs = [struct.unpack_from(f"<{len(i) // 4}I", i) for i in images]
    for key, image in zip(("originalFirmware", "newFirmware"), images):
        assert record[key]["sha256"] == hashlib.sha256(image).hexdigest(), key
    for g in graphics:
        name = bytes.fromhex(g["nameStoredHex"]) if "nameStoredHex" in g else os.fsencode(g["name"])
        png = open(os.fsencode(f"{sample}/gfx-original/") + name, "rb").read()
        assert g["sha256"] == hashlib.sha256(png).hexdigest(), g["name"]
        for c in g["copies"]:
            old, new, anchor = pairs[0][2 * c["originalPair"]:][:2], pairs[1][2 * c["newPair"]:][:2], c["anchor"]
            assert old == (anchor, g["number"]) and new == (anchor, c["newNumber"]), (g["name"], c, old, new)
            assert anchor not in pairs[1][0:2 * c["newPair"]:2], (g["name"], c, "an earlier new pair has the anchor")
    identical = {c["newNumber"]: c["identical"] for g in graphics for c in g["copies"] if c["result"] == "duplicate"}
    assert identical.get(0x300) is True and identical.get(0x318) is False, f"{name}: {identical}"
    bad = [g for g in graphics if "nameStoredHex" in g]
    assert len(bad) == 1 and bad[0]["nameStoredHex"] == b"bad\xff.png".hex() and "\ufffd" in bad[0]["name"], bad
print(f"json record: both records valid, {len(graphics)} PNGs, copies as on the console")
PY
