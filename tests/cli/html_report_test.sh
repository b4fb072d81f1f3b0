#!/usr/bin/env bash
# The HTML report opened in headless Chromium: its counts and tiles against the run's own text
# report, every embedded picture decoded and named, the filter and its keyboard focus, a
# hostile file name shown as text; then html-validate (recommended rules) and axe (WCAG 2.2 AA
# and best practices), from the validators the set-up installs.
#   html_report_test.sh MAKE_SAMPLE GLYPHWARDEN_CLI WORK_FOLDER VALIDATORS
set -euo pipefail
make_sample=$1 cli=$2 work=$3 validators=$4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
"$make_sample" "$work/sample" >/dev/null
sample=$work/sample
hostile='<img src=x onerror=alert(1)>.png'
cp "$sample/gfx-original/0100.png" "$sample/gfx-original/$hostile"
printf 'not a picture at all' >"$sample/gfx-original/0F01.png"
# One copy finds its destination taken, one finds a folder in its way.
printf 'already there' >"$sample/gfx-new/0300.png"
mkdir "$sample/gfx-new/0327.png"
report=$work/report.html
status=0
"$cli" --original-firmware "$sample/firmwares/PHONE_W800_R1A.bin" --new-firmware "$sample/firmwares/PHONE_W810_R4E.bin" \
  --original-gfx "$sample/gfx-original" --new-gfx "$sample/gfx-new" --report --html-report "$report" \
  >"$work/console.txt" 2>"$work/report.txt" || status=$?
# The copy into the folder fails, and the exit status says so.
[ "$status" -eq 1 ] || { echo "glyphwarden-cli exited with $status, expected 1 for the failed copy"; exit 1; }

chrome() {
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile-$1" "${@:2}" 2>>"$work/chromium.log"
}
chrome check --allow-file-access-from-files --virtual-time-budget=10000 --dump-dom \
  "file://$here/html_report_check.html?$(python3 -c 'import sys,urllib.parse;print(urllib.parse.quote(sys.argv[1]))' "file://$report")" \
  >"$work/dom.html"
chrome shot --hide-scrollbars --window-size=1280,1000 --screenshot="$work/report.png" "file://$report" >/dev/null

python3 - "$work" "$sample/gfx-original" "$hostile" <<'PY'
import html, json, os, re, sys
work, gfx, hostile = sys.argv[1:]
dom = open(f"{work}/dom.html", encoding="utf-8").read()
m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
assert m, "the check page wrote nothing"
text = html.unescape(m.group(1))
assert not text.startswith("error") and text != "pending", text
seen = json.loads(text)
report = open(f"{work}/report.txt", encoding="utf-8").read()
def count(label):
    return int(re.search(rf"^{label}:\s+(\d+)$", report, re.M).group(1))
failures = []
def expect(ok, what):
    if not ok: failures.append(what)
walked = len([n for n in os.listdir(gfx) if n.lower().endswith(".png")])
expect(seen["tiles"] == walked == count("walked"), f"tiles {seen['tiles']}, walked {walked}")
for label, key in [("walked", "walked"), ("copied", "copied"), ("duplicate", "duplicate"), ("failed", "failed"),
                   ("not carried", "not carried")]:
    expect(seen["counts"].get(key) == count(label), f"count {key}: page {seen['counts'].get(key)}, run {count(label)}")
numbers = [n for n in seen["numbers"] if n is not None]
expect(numbers == sorted(numbers, key=lambda n: int(n, 16)), "tiles not in ascending order of number")
expect(all(n is None for n in seen["numbers"][len(numbers):]), "tiles without a number come last")
console = open(f"{work}/console.txt", encoding="utf-8").read()
for number, copies in zip(seen["numbers"], seen["copies"]):
    for copy in copies:
        target, result = re.match(r"→ ([0-9A-F]+) (.*)", copy).groups()
        word = {"copied": "copied successfully", "duplicate": "duplicate", "copy failed": "copy failed."}[result]
        expect(f"{number} -> {target} {word}" in console, f"tile {number} -> {target} {result} is not in the console")
reasons = {n: r for n, r in zip(seen["names"], seen["reasons"]) if r}
for line in re.findall(r"^  ([^>\n]*): (.*)$", report, re.M):
    expect(reasons.get(line[0]) == line[1], f"reason of {line[0]}: page {reasons.get(line[0])}, run {line[1]}")
expect(len(reasons) == count("not carried"), "one reason per PNG not carried")
whys = re.findall(r"^  .+ [0-9A-F]+ -> [0-9A-F]+: copy failed: (.*)$", report, re.M)
expect(seen["whys"] == whys and len(whys) == count("failed"), f"why copies failed: page {seen['whys']}, run {whys}")
expect(seen["decoded"] == seen["images"] and seen["images"] == walked - 1, f"decoded {seen['decoded']} of {seen['images']}")
expect(seen["notEmbedded"] == 0, "every picture is embedded")
expect(all(seen["alts"]), "each picture is named by its PNG")
expect(seen["focusShown"] == [True] * 4, f"keyboard focus shown on the filter: {seen['focusShown']}")
expect(seen["placeholders"] == ["not a valid PNG"], f"placeholders {seen['placeholders']}")
# The one duplicate met a file that is not the same picture: it says so, and shows what is there.
expect(seen["duplicates"] == [{"same": "differs from the file there", "existing": "DIV"}], f"duplicates {seen['duplicates']}")
expect(seen["scripts"] == 0 and seen["handlers"] == 0, "the report runs no script")
expect(hostile in seen["names"], "the hostile name is shown as text")
carried = sum(1 for c in seen["copies"] if any(("copied" in x) for x in c))
expect(count("duplicate") >= 1 and count("failed") >= 1, "the run has a duplicate and a failure")
expect(seen["shown"] == {"show-carried": carried, "show-not-carried": count("not carried"),
                         "show-problems": sum(1 for c in seen["copies"] if any(("duplicate" in x or "failed" in x) for x in c)),
                         "show-all": walked}, f"filter shows {seen['shown']}")
if failures:
    print("\n".join(failures)); sys.exit(1)
print(f"report checked in Chromium: {seen['tiles']} tiles, {seen['decoded']} pictures decoded, filter {seen['shown']}")
PY
[ -s "$work/report.png" ] && echo "screenshot: $work/report.png"

# Validators no one here wrote. The page bans scripts, so axe runs in a copy without the ban.
"$validators/node_modules/.bin/html-validate" --config "$here/htmlvalidate.json" "$report"
python3 - "$report" "$validators/node_modules/axe-core/axe.min.js" "$work/axe.html" <<'PY'
import re, sys
report, axe, out = sys.argv[1:]
page = re.sub(r'<meta http-equiv="Content-Security-Policy"[^>]*>', "", open(report, encoding="utf-8").read())
runner = f"""<script src="file://{axe}"></script><script>
const said = text => {{ const p = document.createElement('pre'); p.id = 'axe'; p.textContent = text;
                        document.documentElement.appendChild(p); }};
axe.run(document, {{runOnly: {{type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa',
                                                    'best-practice']}}}})
  .then(r => said(JSON.stringify(r.violations.map(v => [v.id, v.nodes.map(n => n.target.join(' '))]))),
        e => said('error: ' + e));
</script>"""
open(out, "w", encoding="utf-8").write(page.replace("</body>", runner + "</body>"))
PY
chrome axe --allow-file-access-from-files --virtual-time-budget=20000 --dump-dom "file://$work/axe.html" >"$work/axe-dom.html"
violations=$(python3 -c 'import html,re,sys; m=re.search(r"<pre id=\"axe\">(.*?)</pre>", open(sys.argv[1]).read(), re.S); print(html.unescape(m.group(1)) if m else "axe did not run")' "$work/axe-dom.html")
[ "$violations" = "[]" ] || { echo "axe: $violations"; exit 1; }
echo "html-validate and axe: no error, no violation"
