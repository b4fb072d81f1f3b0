#!/usr/bin/env python3
"""The Windows programs under Wine with one system call failed at a time: every file, mapping,
folder, copy, move, delete, memory, thread, console and hashing call that a plain run, a recorded
run (--json), an undo of a recorded run, a run with a page (--html-report), a run and a dry run
with a report (--report) and a Start in the window make. A counting pass says how often each
call is made; each call is then failed at its Nth use for every N when it is made at most four
times, else at a sample (the first three, every doubling: the 5th, 9th, 17th..., the middle one
and the last; the runtime's own startup calls left out), with each error of its class.
Each run must end by itself with 0, 1 or 2, change no image or original PNG, leave no temporary
file and no copy other than the clean run's, print only whole lines, and be truthful: exit 0
means the clean run's output and folder (and, recorded, a record with every checksum; undone,
every copy gone; with a page, a whole one); a refusal (exit 2) names the failed call's error.
The window's runs sample only the calls made after a window that was not asked to Start has
made all of its own, and must end with "Whew..." whenever it was shown.

    wine_faults_test.py WINE_RUN FAULT_RUN_EXE SHIM_DLL GLYPHWARDEN_CLI_EXE GLYPHWARDEN_DRIVE_EXE WORK_FOLDER
"""
import atexit
import concurrent.futures
import json
import os
import queue
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

wine_run, fault_run, shim, cli, drive, work = sys.argv[1:7]
TIMEOUT = 30  # a clean run takes well under a second; a run still going after this is hung
WINDOW_TIMEOUT = 90  # a window's start and close wait on Wine's desktop, slow under load


def timeout_of(scenario):
    return WINDOW_TIMEOUT if scenario == "window" else TIMEOUT
WORKERS = 2

INVALID_HANDLE, ACCESS_DENIED, NOT_ENOUGH_MEMORY, SHARING_VIOLATION, INVALID_PARAMETER = 6, 5, 8, 32, 87
DISK_FULL, IO_DEVICE, TIMEOUT_ERROR = 112, 1117, 1460
ENOMEM, EAGAIN, EIO = 12, 11, 5
STATUS_UNSUCCESSFUL, STATUS_NO_MEMORY, STATUS_ACCESS_DENIED = "0xC0000001", "0xC0000017", "0xC0000022"
# Each class of call with the errors a real system fails it with.
CLASSES = [
    ([ACCESS_DENIED, SHARING_VIOLATION], "CreateFileW"),
    ([IO_DEVICE], "ReadFile SetFilePointerEx GetFileSizeEx GetFileType FindNextFileW FindClose CloseHandle"),
    ([DISK_FULL], "WriteFile FlushFileBuffers CopyFileW CopyFileExW"),
    ([ACCESS_DENIED, IO_DEVICE], "GetFileInformationByHandle GetFileInformationByHandleEx SetFileInformationByHandle "
                                 "GetFileAttributesW SetFileAttributesW FindFirstFileW FindFirstFileExW MoveFileW "
                                 "MoveFileExW ReplaceFileW DeleteFileW CreateDirectoryW RemoveDirectoryW "
                                 "GetFinalPathNameByHandleW"),
    ([IO_DEVICE], "WriteConsoleW GetConsoleMode GetStdHandle"),
    ([NOT_ENOUGH_MEMORY], "CreateFileMappingW MapViewOfFile VirtualAlloc HeapAlloc HeapReAlloc LocalAlloc "
                          "FormatMessageW FormatMessageA GetFullPathNameW GetCurrentDirectoryW SetConsoleCtrlHandler "
                          "DuplicateHandle CreateThread ResumeThread SuspendThread GetThreadContext SetThreadContext "
                          "SetThreadPriority GetThreadPriority GetProcessAffinityMask SetProcessAffinityMask "
                          "CreateEventA CreateEventW SetEvent ResetEvent CreateSemaphoreA CreateSemaphoreW "
                          "ReleaseSemaphore CreateMutexW InitOnceExecuteOnce TlsAlloc TlsSetValue"),
    ([INVALID_PARAMETER], "UnmapViewOfFile VirtualQuery VirtualFree VirtualProtect LocalFree"),
    ([INVALID_HANDLE], "WaitForSingleObject WaitForMultipleObjects"),
    ([TIMEOUT_ERROR], "SleepConditionVariableSRW"),  # a wait that ends early, as a spurious wake
    ([ENOMEM], "malloc calloc realloc _aligned_malloc _strdup"),
    ([EAGAIN], "_beginthreadex"),
    ([EIO], "_read _close fwrite fputs fputc fputwc"),
    ([STATUS_NO_MEMORY], "BCryptOpenAlgorithmProvider BCryptCreateHash"),
    ([STATUS_ACCESS_DENIED], "NtQueryObject"),
    ([STATUS_UNSUCCESSFUL], "BCryptGetProperty BCryptHashData BCryptFinishHash BCryptDestroyHash "
                            "BCryptCloseAlgorithmProvider"),
]
FAULTS = {name: errors for errors, names in CLASSES for name in names.split()}
# How many of the first calls of a kind the C/C++ runtime makes before main, given the command
# line: no program can survive them failing (each was seen, by the stack at the call, to come from
# __tmainCRTStartup). MinGW's startup (crtexe.c) copies the arguments, one malloc for the vector
# and one for each, program name included, and checks none (a crash). Then libgcc registers the
# program's unwind tables (__gcc_register_frame) under winpthreads' pthread_once, which does not
# check its callocs, mallocs, TlsAlloc, TlsSetValue or DuplicateHandle (a crash, or abort: exit 3).
RUNTIME_ONLY = {
    "malloc": lambda arguments: len(arguments) + 1 + 5,
    "calloc": lambda arguments: 3,
    "TlsAlloc": lambda arguments: 1,
    "TlsSetValue": lambda arguments: 1,
    "DuplicateHandle": lambda arguments: 1,
}
# Lines a failing run prints besides the clean run's.
FAILURE_FORMS = re.compile(r"[0-9A-F]{4} -> [0-9A-F]{4} copy failed\.|(original|new) firmware [a-z ]+\.\.?"
                           r"|original gfx dir not found\.\.|cannot read the original gfx folder: .+"
                           r"|kept \S+: [a-z ,]+(: .+ \((error \d+|status 0x[0-9A-F]{8})\))?|\S+: not there any more|\d+ removed, \d+ kept, \d+ not there any more"
                           # the window's: why a Start ended early, a record not kept, a want of memory
                           r"|why: .+|the record of this Start was not kept: .+|not enough memory for that command\."
                           r"|[0-9A-F]{4} -> [0-9A-F]{4}")  # a copy not made for want of memory, then that line
COPIED = re.compile(r"([0-9A-F]{4}) -> ([0-9A-F]{4}) copied successfully")
# A report's line for a copy made when a file held for a moment was tried again.
RETRIED = re.compile(r"  \S+ [0-9A-F]{4} -> [0-9A-F]{4}: copied: after \d+ tries: .+ \(error \d+\)")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def image(size, pairs):
    data = bytearray(size)
    for index, anchor, number in pairs:
        struct.pack_into("<II", data, 8 * index, anchor, number)
    return bytes(data)


def make_pack(folder):
    """Two images carrying 0001.png to 0006.png (to 0A01 to 0A06) and 0008.png to 0A08.png, which
    the new folder already has (a duplicate); 0007.png is not in the original image."""
    carried = list(range(1, 7)) + [8]
    # In the folder where the window lists them.
    write(f"{folder}/firmwares/W800.bin", image(3 * 4096, [(i, 0x60 + i, i) for i in carried]))
    write(f"{folder}/firmwares/W810.bin", image(4096, [(9 + i, 0x60 + i, 0x0A00 + i) for i in carried]))
    for number in range(1, 9):
        write(f"{folder}/original gfx/{number:04X}.png", b"\x89PNG picture %d " % number * number)
    write(f"{folder}/new gfx/0A08.png", b"\x89PNG already there")


def snapshot(folder):
    """Every file under folder, by its path there: its bytes."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            with open(os.path.join(root, name), "rb") as f:
                files[os.path.relpath(os.path.join(root, name), folder)] = f.read()
    return files


def in_new(files):
    return {path: data for path, data in files.items() if path.startswith("new gfx" + os.sep)}


class Slot:
    """A worker's own folder: the run's files are put back there before each run, so that the
    paths in a record and in the output stay the same."""

    def __init__(self, index):
        self.dir = os.path.join(work, f"slot-{index}")
        self.pack = os.path.join(self.dir, "pack")
        self.record = os.path.join(self.pack, "record.json")
        self.page = os.path.join(self.pack, "report.html")
        self.states = {"new": os.path.join(self.dir, "new")}
        shutil.rmtree(self.dir, ignore_errors=True)
        make_pack(self.states["new"])

    def arguments(self, scenario, counting_window=False):
        if scenario == "undo":
            return ["--undo", windows_path(self.record)]
        if scenario == "window":  # the window finds the images in the folder it starts in
            return [windows_path(f"{self.pack}/original gfx"), windows_path(f"{self.pack}/new gfx")] + (
                ["--no-start"] if counting_window else [])
        run = ["--original-firmware", windows_path(f"{self.pack}/firmwares/W800.bin"), "--new-firmware",
               windows_path(f"{self.pack}/firmwares/W810.bin"), "--original-gfx", windows_path(f"{self.pack}/original gfx"),
               "--new-gfx", windows_path(f"{self.pack}/new gfx")]
        return run + {"json": ["--json", windows_path(self.record)], "html": ["--html-report", windows_path(self.page)],
                      "report": ["--report"], "dryreport": ["--dry-run", "--report"]}.get(scenario, [])

    def restore(self, state):
        shutil.rmtree(self.pack, ignore_errors=True)
        shutil.copytree(self.states[state], self.pack)

    def run(self, scenario, fault="", counts="", counting_window=False):
        """Runs the scenario from its starting state, through the shim when it fails or counts
        calls: (exit status, None when hung; stdout; stderr). A window is driven by
        glyphwarden-drive, which prints its console and ends with 0 when it closed as asked."""
        self.restore("new")
        if scenario == "undo":
            # Made by a clean recorded run: an undo takes back only the very files a run made, and
            # copies put back from a snapshot would be other files with the same bytes.
            subprocess.run([wine_run, cli] + self.arguments("json"), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=TIMEOUT, check=True)
            with open(self.record, "rb") as f:
                self.record_made = f.read()
        if scenario == "window":
            program = [drive] + self.arguments(scenario, counting_window)
            if fault or counts:
                program += ["--shim", windows_path(fault_run), windows_path(shim)]
        else:
            program = [cli] + self.arguments(scenario)
            if fault or counts:
                program = [fault_run, windows_path(shim), windows_path(cli)] + program[1:]
        # Into files, not pipes: the run has ended when its process has, whatever a process Wine
        # started for it keeps open.
        with open(os.path.join(self.dir, "out"), "w+b") as out, open(os.path.join(self.dir, "err"), "w+b") as err:
            process = subprocess.Popen([wine_run] + program, stdout=out, stderr=err,
                                       env=dict(os.environ, GLYPHWARDEN_FAULT=fault, GLYPHWARDEN_FAULT_COUNTS=counts),
                                       start_new_session=True, cwd=self.pack)
            try:
                code = process.wait(timeout=timeout_of(scenario))
            except subprocess.TimeoutExpired:  # the runner, and with it the program it debugs
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                code = None
            out.seek(0)
            err.seek(0)
            return code, out.read().decode("utf-8", "replace").replace("\r\n", "\n"), err.read().decode("utf-8", "replace")


def lines_of(out):
    """The output's lines, a last one without its line end included."""
    lines = out.split("\n")
    return lines[:-1] if lines[-1] == "" else lines


def whole_json(text):
    try:
        json.loads(text)
        return True
    except ValueError:
        return False


def differing(files, model):
    return sorted(path for path, data in files.items() if model.get(path) != data)


def judge(slot, scenario, reference, code, out, err="", fault=""):
    """What is wrong with the run's exit status, files and output, as a list of texts."""
    if code is None:
        return [f"hung: still running after {timeout_of(scenario)} s"]
    wrong = [] if code in (0, 1, 2) else [f"exit {code}"]
    name, _, error = fault.rpartition(":")
    # A refusal says why: a failed Windows call's error is named with its number.
    if code == 2 and name[:1].isupper() and error.isdigit() and f"(error {error})" not in err:
        wrong.append(f"refused without the reason of the failed call: {err.strip()}")
    if scenario == "window":
        # Shown, the window ends its Start with Whew... (glyphwarden-drive exit 0); not shown,
        # it ended by itself, and changed nothing.
        if code == 0 and not out.endswith("Whew...\n\n"):
            wrong.append("the console does not end with Whew...")
        if code != 0 and "ended before its window was shown" not in err:
            wrong.append(f"glyphwarden-drive: {err.strip()}")
        code = 1  # a window that closed says nothing of how its Start went
    before, after, clean = reference["before"], snapshot(slot.pack), reference["after"]
    new, clean_new = in_new(after), in_new(clean)
    inputs = {path: data for path, data in before.items() if path not in in_new(before)}
    if scenario == "undo":  # the record of the run just made, which the undo only reads
        inputs["record.json"] = slot.record_made
    if differing(inputs, after):
        wrong.append(f"input changed or removed: {differing(inputs, after)}")
    if [path for path in after if path.endswith(".tmp")]:
        wrong.append(f"temporary files left: {[path for path in after if path.endswith('.tmp')]}")
    if scenario == "undo":
        copies = in_new(before).keys() - clean_new.keys()
        if differing(new, before):
            wrong.append(f"not a copy the run made, unchanged: {differing(new, before)}")
        if in_new(before).keys() - copies - new.keys():
            wrong.append(f"removed what is not a copy: {sorted(in_new(before).keys() - copies - new.keys())}")
        if code == 0 and new.keys() & copies:
            wrong.append(f"exit 0 with copies kept: {sorted(new.keys() & copies)}")
    else:
        if differing(new, clean_new):
            wrong.append(f"not as the clean run copied it: {differing(new, clean_new)}")
        if code == 0 and new != clean_new:
            wrong.append(f"exit 0 without every copy: {sorted(clean_new.keys() - new.keys())}")
    # A copy made when tried again is a copy made, with a line that says so.
    lines = [line for line in lines_of(out) if not RETRIED.fullmatch(line)]
    # A file kept for a failure of the system's is kept with the system's reason.
    if name[:1].isupper() and [line for line in lines if re.fullmatch(r"kept \S+: could not be (read|removed)", line)]:
        wrong.append("a file kept without the system's reason")
    strange = [line for line in lines if line not in reference["lines"] and not FAILURE_FORMS.fullmatch(line)]
    if strange:
        wrong.append(f"lines not whole or not known: {strange}")
    said = {f"new gfx{os.sep}{match[2]}.png" for match in map(COPIED.fullmatch, lines) if match}
    for copied in said:
        if after.get(copied) != clean.get(copied):
            wrong.append(f"{copied} said copied but not there whole")
    if scenario == "window" and new.keys() - in_new(before).keys() - said:  # a console cannot fail
        wrong.append(f"copied but never said: {sorted(new.keys() - in_new(before).keys() - said)}")
    if code == 0 and set(lines) != reference["lines"]:
        wrong.append(f"exit 0 with other output: {sorted(set(lines) ^ reference['lines'])}")
    if scenario == "html" and (code == 0 or "report.html" in after) and \
            not after.get("report.html", b"").rstrip().endswith(b"</html>"):
        wrong.append("the page is missing or not whole")
    if scenario == "json" and (code == 0 or "record.json" in after):
        record = after.get("record.json", b"").decode("utf-8", "replace")
        if not whole_json(record):
            wrong.append("the record is missing or not whole")
        elif code == 0 and re.search(r'"(sha256|identity)"\s*:\s*null', record):
            wrong.append('exit 0 with a checksum or an identity null in the record')
    return wrong


def samples(eligible):
    """All, or the first three, every doubling (the 5th, 9th, 17th...), the middle one and the last."""
    if len(eligible) <= 4:
        return eligible
    doublings = [2**k for k in range(2, (len(eligible) - 1).bit_length())]
    return [eligible[i] for i in sorted({0, 1, 2, *doublings, len(eligible) // 2, len(eligible) - 1})]


def wine(*arguments):
    return subprocess.run([wine_run, *arguments], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


failures = []
started = time.monotonic()
# A persistent session unless one runs already (exit 2), and Wine's services started by a run
# whose output is not ours to wait for.
if wine("--server", "-p") == 0:
    atexit.register(wine, "--server", "-k")
wine(cli, "--version")
slots = [Slot(i) for i in range(WORKERS)]
# GLYPHWARDEN_FAULT_SCENARIOS="html window" runs only those, by hand.
SCENARIOS = tuple(os.environ.get("GLYPHWARDEN_FAULT_SCENARIOS", "").split()) or (
    "run", "json", "undo", "html", "report", "dryreport", "window")
references = {}
for slot in slots:
    # The clean runs, without the shim, in each slot (the record and undo's lines name its folder).
    for scenario in (["json"] if "undo" in SCENARIOS and "json" not in SCENARIOS else []) + list(SCENARIOS):
        before = snapshot(slot.states["recorded" if scenario == "undo" else "new"])
        code, out, err = slot.run(scenario)
        if code != 0:
            sys.exit(f"the clean {scenario} run failed: exit {code}\n{out}{err}")
        references[slot, scenario] = {"before": before, "after": snapshot(slot.pack), "lines": set(lines_of(out))}
        if scenario == "json":
            slot.states["recorded"] = os.path.join(slot.dir, "recorded")
            shutil.copytree(slot.pack, slot.states["recorded"])

def read_counts(counts_file):
    with open(counts_file) as f:
        return {name: int(count) for name, count in (line.split() for line in f)}


# The counting pass, through the shim: also a check that the shim alone changes nothing.
runs = []
for scenario in SCENARIOS:
    counts_file = os.path.join(work, f"counts-{scenario}.txt")
    code, out, err = slots[0].run(scenario, counts=windows_path(counts_file))
    wrong = judge(slots[0], scenario, references[slots[0], scenario], code, out)
    if code != 0 or wrong:
        sys.exit(f"the {scenario} run through the shim, failing nothing: exit {code} {wrong}\n{err}")
    counts = read_counts(counts_file)
    for name in sorted(set(counts) - set(FAULTS)):
        failures.append(f"{scenario}: {name} is wrapped but has no errors in FAULTS")
    arguments = [cli] + slots[0].arguments(scenario)
    before_start = {}
    if scenario == "window":  # what the window makes of its own before and after a Start
        slots[0].run(scenario, counts=windows_path(counts_file), counting_window=True)
        before_start = read_counts(counts_file)
    for name, count in counts.items():
        first = RUNTIME_ONLY[name](arguments) + 1 if name in RUNTIME_ONLY else 1
        first = max(first, before_start.get(name, 0) + 1)
        for n in samples(list(range(first, count + 1))):
            runs += [(scenario, name, n, error) for error in FAULTS.get(name, [])]

free = queue.Queue()
for slot in slots:
    free.put(slot)


def fault_run_one(scenario, name, n, error):
    slot = free.get()
    try:
        fault = f"{name}:{n}:{error}"
        code, out, err = slot.run(scenario, fault=fault)
        wrong = judge(slot, scenario, references[slot, scenario], code, out, err, fault)
    finally:
        free.put(slot)
    if wrong:
        stderr = " | ".join(err.strip().splitlines())[:200]
        return f"{scenario} {name}:{n}:{error}: " + "; ".join(wrong) + (f" [stderr: {stderr}]" if stderr else "")
    return None


with concurrent.futures.ThreadPoolExecutor(WORKERS) as pool:
    for result in pool.map(lambda run: fault_run_one(*run), runs):
        if result:
            failures.append(result)

for failure in failures:
    print("FAILED:", failure)
print(f"{len(runs)} runs with one call failed, {len(failures)} failed, {time.monotonic() - started:.0f} s")
sys.exit(1 if failures else 0)
