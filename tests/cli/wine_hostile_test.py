#!/usr/bin/env python3
"""The Windows command line under Wine, held at exact points while its files are changed from
Linux, which Wine's sharing rules do not stop: an image shortened while mapped (the run held by
a full pipe), a copy stopped half-written and then killed or its source changed (the process
stopped by SIGSTOP), and a full drive (a file size limit, writes failing part way).

    wine_hostile_test.py WINE_RUN GLYPHWARDEN_CLI_EXE WORK_FOLDER
"""
import fcntl
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

wine_run, cli, work = sys.argv[1:4]
failures = []
passed = 0


def check(condition, what):
    if not condition:
        failures.append(f"{current}: {what}")
    return condition


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def image(size, pairs):
    data = bytearray(size)
    for index, anchor, number in pairs:
        struct.pack_into("<II", data, 8 * index, anchor, number)
    return bytes(data)


class Pack:
    """Two images carrying 0001.png to 0A01.png (and 0002.png to 0A02.png)."""

    def __init__(self, name, original_size=3 * 4096):
        self.dir = os.path.join(work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.original_gfx = os.path.join(self.dir, "original gfx")
        self.new_gfx = os.path.join(self.dir, "new gfx")
        os.makedirs(self.original_gfx)
        os.makedirs(self.new_gfx)
        self.original = os.path.join(self.dir, "W800.bin")
        self.new = os.path.join(self.dir, "W810.bin")
        write(self.original, image(original_size, [(1, 0x61, 0x0001), (2, 0x62, 0x0002)]))
        write(self.new, image(4096, [(7, 0x61, 0x0A01), (9, 0x62, 0x0A02)]))

    def png(self, name):
        return os.path.join(self.original_gfx, name)

    def arguments(self):
        return [cli, "--original-firmware", windows_path(self.original), "--new-firmware", windows_path(self.new),
                "--original-gfx", windows_path(self.original_gfx), "--new-gfx", windows_path(self.new_gfx)]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_large(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


def start(arguments, stdout=subprocess.PIPE, preexec_fn=None):
    return subprocess.Popen([wine_run] + arguments, stdout=stdout, stderr=subprocess.PIPE,
                            preexec_fn=preexec_fn)


def wait_for(condition, limit=120):
    until = time.monotonic() + limit
    while not condition():
        if time.monotonic() > until:
            return False
        time.sleep(0.001)
    return True


def processes_with(path, table):
    """The processes whose open files (table "fd") or mappings (table "maps") name path."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if table == "maps":
                with open(f"/proc/{pid}/maps") as maps:
                    if path in maps.read():
                        found.append(int(pid))
            else:
                for fd in os.listdir(f"/proc/{pid}/fd"):
                    if os.readlink(f"/proc/{pid}/fd/{fd}") == path:
                        found.append(int(pid))
                        break
        except OSError:
            continue
    return found


def half_written_copy(folder):
    """The temporary file a copy is being written to, and its size, or (None, 0)."""
    for name in os.listdir(folder):
        if name.endswith(".tmp"):
            size = os.path.getsize(os.path.join(folder, name))
            if size > 0:
                return name, size
    return None, 0


def descends_from(pid, ancestor):
    while pid > 1:
        if pid == ancestor:
            return True
        try:
            with open(f"/proc/{pid}/stat") as stat:
                pid = int(stat.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            return False
    return False


def stop_mid_copy(pack, process, source, size):
    """Stops the run copying source once its copy has bytes but not all: its pid, or None. The
    wineserver holds the file open too; the run is the process started, or one of its own."""
    pid = None

    def copying():
        nonlocal pid
        if half_written_copy(pack.new_gfx)[0] is None:
            return False
        holders = [p for p in processes_with(source, "fd") if descends_from(p, process.pid)]
        pid = holders[0] if holders else None
        return pid is not None

    if not wait_for(copying):
        return None
    os.kill(pid, signal.SIGSTOP)
    wait_for(lambda: open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] == "T")
    written = half_written_copy(pack.new_gfx)[1]
    return pid if 0 < written < size else None


def finish(process):
    try:
        out, err = process.communicate(timeout=120)
    except subprocess.TimeoutExpired:  # a crash dialog, say: ended, and the case fails
        process.kill()
        out, err = process.communicate()
        return -1, out.decode("utf-8", "replace"), "did not end within 120 s"
    return process.returncode, out.decode("utf-8", "replace").replace("\r\n", "\n"), err.decode("utf-8", "replace")


def graphics(pack):
    return sorted(n for n in os.listdir(pack.new_gfx) if not n.endswith(".tmp"))


LARGE = 128 << 20


def held_copy(name, act):
    """A run whose copy of a large 0001.png is stopped half-written; act(pid, source) is done to
    it there, and the run goes on. The pack, and how the run ended."""
    pack = Pack(name)
    source = pack.png("0001.png")
    make_large(source, LARGE)
    process = start(pack.arguments())
    pid = stop_mid_copy(pack, process, source, LARGE)
    if check(pid is not None, "the copy was never seen half-written"):
        act(pid, source)
        os.kill(pid, signal.SIGCONT)
    return pack, finish(process)


# A copy ended from outside (SIGKILL as TerminateProcess or a power cut, SIGTERM as Wine gets
# it at log-off) leaves nothing under the final name, and the next run copies the PNG whole.
for sig in (signal.SIGKILL, signal.SIGTERM):
    before = len(failures)
    current = f"copy ended by {sig.name}"
    pack, (code, out, err) = held_copy(f"killed-{sig.name}", lambda pid, source: os.kill(pid, sig))
    check(code != 0, f"the run ended early, exit {code}")
    check(graphics(pack) == [], f"nothing under a graphic's name: {graphics(pack)}")
    code, out, err = finish(start(pack.arguments()))
    check(code == 0, f"the next run succeeds: exit {code} {err}")
    check("0001 -> 0A01 copied successfully\n" in out, f"the next run copies it: {out!r}")
    check(os.path.exists(os.path.join(pack.new_gfx, "0A01.png")) and
          os.path.getsize(os.path.join(pack.new_gfx, "0A01.png")) == LARGE, "the copy is whole")
    passed += len(failures) == before

# A source changed while it is copied (Wine does not keep a Linux program out) is never
# reported copied.
def shorten(path):
    os.truncate(path, 100)


def rewrite_keeping_times(path):
    before = os.stat(path)
    with open(path, "r+b") as f:
        f.seek(LARGE - 7)
        f.write(b"changed")
    os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns))


def rename_over(path):
    write(path + ".new", b"another picture")
    os.rename(path + ".new", path)


for change in (shorten, rewrite_keeping_times, rename_over):
    before = len(failures)
    current = f"source {change.__name__}"
    pack, (code, out, err) = held_copy(f"changed-{change.__name__}", lambda pid, source: change(source))
    check(code == 1, f"exit {code}: {err}")
    check("0001 -> 0A01 copy failed.\n" in out, f"the copy is reported failed: {out!r}")
    check(os.listdir(pack.new_gfx) == [], f"the copy is discarded: {os.listdir(pack.new_gfx)}")
    passed += len(failures) == before

# A full drive: writes fail past 100,000 bytes (SIGXFSZ ignored, so they fail as on a full
# drive). The large PNG's copy fails and leaves nothing; the small one is copied.
current = "full drive"
before = len(failures)
pack = Pack("full-drive")
write(pack.png("0001.png"), b"p" * 200000)
write(pack.png("0002.png"), b"small picture")


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (100000, 100000))


code, out, err = finish(start(pack.arguments(), preexec_fn=limit_file_size))
check(code == 1, f"exit {code}: {err}")
check("0001 -> 0A01 copy failed.\n" in out, f"the large copy is reported failed: {out!r}")
check("0002 -> 0A02 copied successfully\n" in out, f"the small one is copied: {out!r}")
check(os.listdir(pack.new_gfx) == ["0A02.png"], f"no partial or temporary file: {os.listdir(pack.new_gfx)}")
passed += len(failures) == before

# An image shortened while mapped: the run is held at its first line by a full pipe, with both
# images mapped; the fault of the next read ends the run with its line, not a crash. A large
# original image is read in two halves on two threads, which fault on it at nearly the same time:
# emptied, both; halved, the later one. Each is tried ten times.
LARGE_IMAGE = 32 << 20
shortenings = [("original", 3 * 4096, 0, 1), ("new", 3 * 4096, 0, 1),
               ("original", LARGE_IMAGE, 0, 10), ("original", LARGE_IMAGE, LARGE_IMAGE // 2, 10)]
for which, size, length, tries in shortenings:
    current = f"{which} image of {size} bytes shortened to {length} while mapped"
    before = len(failures)
    for attempt in range(tries):
        pack = Pack(f"shortened-{which}", size)
        write(pack.png("0001.png"), b"picture")
        changed = pack.original if which == "original" else pack.new
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETFL, os.O_NONBLOCK)
        filled = 0
        try:
            while True:
                filled += os.write(write_end, b"." * 4096)
        except BlockingIOError:
            pass
        fcntl.fcntl(write_end, fcntl.F_SETFL, 0)
        process = start(pack.arguments(), stdout=write_end)
        os.close(write_end)
        mapped = wait_for(lambda: processes_with(pack.original, "maps") and processes_with(pack.new, "maps"))
        check(mapped, "the run never mapped both images")
        os.truncate(changed, length)
        printed = bytearray()
        errors = []
        reader = threading.Thread(target=lambda: errors.append(process.stderr.read()))
        reader.start()
        reading = threading.Thread(
            target=lambda: [printed.extend(c) for c in iter(lambda: os.read(read_end, 65536), b"")])
        reading.start()
        try:
            process.wait(timeout=120)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        reading.join(10)
        reader.join(10)
        os.close(read_end)
        text = printed[filled:].decode("utf-8", "replace").replace("\r\n", "\n")
        check(process.returncode == 1, f"try {attempt}: no crash, the run's failure: exit {process.returncode} {errors}")
        check(f"{which} firmware file changed during the run.\n" in text, f"try {attempt}: the line: {text!r}")
        check(os.listdir(pack.new_gfx) == [], f"try {attempt}: nothing is copied from an image that changed")
    passed += len(failures) == before

# Undo after a copy was replaced by a Linux link to its original (the same bytes): Wine follows
# such a link in every call, so only the file's final path tells that it is not the copy.
current = "undo keeps a copy replaced by a link"
before = len(failures)
pack = Pack("undo-link")
write(pack.png("0001.png"), b"picture one")
write(pack.png("0002.png"), b"picture two")
record = os.path.join(pack.dir, "run.json")
code, out, err = finish(start(pack.arguments() + ["--json", windows_path(record)]))
check(code == 0, f"the run: exit {code} {err}")
link = os.path.join(pack.new_gfx, "0A01.png")
os.remove(link)
os.symlink(pack.png("0001.png"), link)
code, out, err = finish(start([cli, "--undo", windows_path(record)]))
check(code == 1, f"exit {code}: {err}")
check("kept 0A01.png: not a regular file\n" in out and "removed 0A02.png\n" in out, f"the lines: {out!r}")
check(os.listdir(pack.new_gfx) == ["0A01.png"] and os.path.islink(link), f"left: {os.listdir(pack.new_gfx)}")
with open(pack.png("0001.png"), "rb") as f:
    check(f.read() == b"picture one", "the link's target is untouched")
passed += len(failures) == before

for failure in failures:
    print("FAILED:", failure)
print(f"{passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
