#!/usr/bin/env python3
"""The Windows command line under Wine with names Windows' path rules would change (a trailing
dot or space, a device's name) and folders past 260 characters: each PNG is copied, hashed,
recorded and undone as itself, from a folder of any length.

    wine_names_test.py WINE_RUN GLYPHWARDEN_CLI_EXE WORK_FOLDER
"""
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys

wine_run, cli, work = sys.argv[1:4]
failures = []


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def image(pairs):
    data = bytearray(4096)
    for index, anchor, number in pairs:
        struct.pack_into("<II", data, 8 * index, anchor, number)
    return bytes(data)


def run(arguments):
    done = subprocess.run([wine_run, cli] + arguments, capture_output=True, timeout=300)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


# Each PNG by the name Windows would otherwise read as another file's, and its bytes.
PNGS = {"0001.png": b"one", "0001.png.": b"one, with a dot", "0002.png ": b"two, with a space",
        "CON.png": b"twelve, by a device's name"}
ORIGINAL = image([(1, 0x61, 0x0001), (2, 0x62, 0x0002), (3, 0x63, 0x000C)])
NEW = image([(7, 0x61, 0x0A01), (9, 0x62, 0x0A02), (11, 0x63, 0x0A0C)])

# The new graphics folder: short, and long enough that every path in it passes 260 characters
# (and, the second, 300 before its names).
for label, depth in [("a short new folder", 0), ("a new folder of 300 characters", 300)]:
    def check(condition, what):
        if not condition:
            failures.append(f"{label}: {what}")
        return condition

    base = os.path.join(work, f"names-{depth}")
    shutil.rmtree(base, ignore_errors=True)
    original_gfx, new_gfx = os.path.join(base, "original gfx"), os.path.join(base, "new")
    while len(windows_path(new_gfx)) < depth:
        new_gfx = os.path.join(new_gfx, "d" * min(100, depth - len(windows_path(new_gfx)) - 1 or 1))
    os.makedirs(original_gfx)
    os.makedirs(new_gfx)
    for name, data in PNGS.items():
        with open(os.path.join(original_gfx, name), "wb") as f:
            f.write(data)
    for name, data in [("W800.bin", ORIGINAL), ("W810.bin", NEW)]:
        with open(os.path.join(base, name), "wb") as f:
            f.write(data)
    record = os.path.join(base, "run.json")
    code, out, err = run(["--original-firmware", windows_path(os.path.join(base, "W800.bin")),
                          "--new-firmware", windows_path(os.path.join(base, "W810.bin")),
                          "--original-gfx", windows_path(original_gfx), "--new-gfx", windows_path(new_gfx),
                          "--json", windows_path(record)])
    if not check(code == 0, f"the run: exit {code}: {out} {err}"):
        continue
    with open(record, encoding="utf-8") as f:
        graphics = {g["name"]: g for g in json.load(f)["graphics"]}
    check(sorted(graphics) == sorted(PNGS), f"the walk: {sorted(graphics)}")
    for name, graphic in graphics.items():
        check(graphic["sha256"] == hashlib.sha256(PNGS[name]).hexdigest(), f"{name!r}: the checksum of its own bytes")
        for copy in graphic["copies"]:
            copied = os.path.join(new_gfx, "%04X.png" % copy["newNumber"])
            with open(copied, "rb") as f:
                made = f.read()
            if copy["result"] == "copied":
                check(made == PNGS[name], f"{name!r}: the copy holds its bytes")
            else:
                check(copy["result"] == "duplicate" and copy["identical"] is False,
                      f"{name!r}: a duplicate of another's copy, not identical: {copy}")
    check(sorted(os.listdir(new_gfx)) == ["0A01.png", "0A02.png", "0A0C.png"], f"made: {os.listdir(new_gfx)}")
    code, out, err = run(["--undo", windows_path(record)])
    check(code == 0 and "3 removed, 0 kept, 0 not there any more" in out, f"the undo: exit {code}: {out} {err}")
    check(os.listdir(new_gfx) == [], f"left: {os.listdir(new_gfx)}")
    for name, data in PNGS.items():
        with open(os.path.join(original_gfx, name), "rb") as f:
            check(f.read() == data, f"{name!r} is untouched")

for failure in failures:
    print("FAILED:", failure)
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
