#!/usr/bin/env python3
"""Runs one end-to-end scenario of pmquery.exe under Wine against the
simulated controller, and compares everything it leaves behind.

usage: run_scenario.py --prefix WINEPREFIX --bin BUILD_BIN --work WORK_ROOT [--bits 32|64]
                       [--tools DIR] SCENARIO_DIR

--tools names the folder of the harness's own programs (comspec_adapter.exe,
secupd_drive.exe) when --bin holds only the product and the simulated
controller, as an unpacked package does; by default both are in --bin.

--bits is the build's: a 32-bit product reads the agent's value from the
32-bit registry view (WOW6432Node), a 64-bit one from the 64-bit view. The
scenario's registry state is set and read in that view, and the other view
must hold no value afterwards.

A scenario directory holds:
  case               key=value lines:
                       args=...      pmquery's arguments (blank-separated)
                       registry=...  the agent's registry value before the run:
                                     absent, empty, or the value's text
                       files=...     what lies beside pmquery.exe (default:
                                     pmquery.exe velmora.dll vexbmc32.dll ruxainst.bat)
                       report=NAME   the report file pmquery writes, if any
                       program=NAME  the program to run (default pmquery.exe)
                       volume=LETTER the simulated controller's repository
                                     volume is mapped as this drive: a folder
                                     laid out as volume.layout says, or by
                                     default with one folder per requester
                                     (names from secupd_drive.exe), files and
                                     subfolders in each, some of them empty
                       volume_label=TEXT  its label (default SECUPD)
                       volume_delay=MS    map it only MS milliseconds after
                                     the program's first "Mount point not
                                     found" line, instead of before the run
  vexbmc32.scenario  the simulated controller's scenario (optional)
  volume.layout      the repository volume's content (optional): one path a
                     line below the volume's root, folders ending in "/";
                     each file holds its own path, so a staged copy shows
                     where it came from
  staged.before      files and folders made below C:\quor before the run, in
                     the form of "staged" (optional)
  exit, stdout, stderr            expected exit code and output
  registry           expected registry value afterwards: "absent" or "value=TEXT"
  calls.log          expected call log of the bridge library (none: no call)
  ruxainst.log       expected runs of the agent script (none: no run)
  report             expected report file (when case names one)
  staged             expected files and folders below C:\quor of the prefix
                     afterwards, one relative path a line, folders ending
                     in "/", a file's text after ": " unless it is empty
                     (optional; C:\quor is emptied before every run)
  leftovers          expected files the run leaves beside the program, other
                     than what the harness put there and the logs compared
                     above, and C:\pm.log if it is left; in the form of
                     "staged" (optional)

The program runs with comspec_adapter.exe as the command interpreter its
system() calls start: Wine's cmd.exe rejects the redirection tail of the
staging commands (" 1>2>C:\pm.log") and runs nothing, the adapter applies it
as Windows does and hands the command to cmd.exe.

--record writes what the run left behind as the scenario's expectations, to
start a new scenario; read every recorded file before committing it.

Windows programs write text with CR LF line ends: the expected stdout,
stderr and report are kept with LF and compared after LF -> CR LF. Lines
that Wine itself writes to the program's standard error ("wine: ...", such
as the note that the label of the host's root cannot be read) depend on the
host and are left out of the comparison.
"""
import argparse
import difflib
import os
import shutil
import subprocess
import sys
import threading

AGENT_KEY = r"HKLM\SOFTWARE\Quor Computer Corporation\QuorRuxa\CurrentVersion"
DEFAULT_FILES = "pmquery.exe velmora.dll vexbmc32.dll ruxainst.bat"
ADAPTER = "comspec_adapter.exe"
VOLUME_FOLDER = "secupd volume"
LOGS = ("vexbmc32-calls.log", "ruxainst.log")
RUNNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "wine-run.sh")


def read_case(path):
    case = {}
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#") or "=" not in line:
                continue
            key, value = line.split("=", 1)
            case[key.strip()] = value
    return case


def wine(prefix, args, cwd=None):
    return subprocess.run(["sh", RUNNER, prefix] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)


def view(bits):
    return "/reg:%d" % bits


def set_registry(prefix, state, bits):
    wine(prefix, ["reg", "delete", AGENT_KEY, "/v", "Version", "/f", view(bits)])
    if state == "absent":
        return
    value = "" if state == "empty" else state
    done = wine(prefix, ["reg", "add", AGENT_KEY, "/v", "Version", "/t", "REG_SZ", "/d", value, "/f", view(bits)])
    if done.returncode != 0:
        raise RuntimeError("cannot set the agent's registry value: " + done.stderr.decode(errors="replace"))


def registry_state(prefix, bits):
    done = wine(prefix, ["reg", "query", AGENT_KEY, "/v", "Version", view(bits)])
    if done.returncode != 0:
        return "absent"
    for line in done.stdout.decode(errors="replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0] == "Version" and parts[1] == "REG_SZ":
            return "value=" + (parts[2] if len(parts) == 3 else "")
    return "unreadable: " + done.stdout.decode(errors="replace")


def wine_async(prefix, args):
    return subprocess.Popen(["sh", RUNNER, prefix] + args, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def host_c(prefix):
    return os.path.join(prefix, "drive_c")


def clear_staging(prefix):
    shutil.rmtree(os.path.join(host_c(prefix), "quor"), ignore_errors=True)
    log = os.path.join(host_c(prefix), "pm.log")
    if os.path.exists(log):
        os.remove(log)


def file_entry(path, name):
    """A file as the listings show it: its name, then its text unless it is
    empty (line ends shown as \\n)."""
    with open(path, "rb") as handle:
        text = handle.read().decode("latin-1").replace("\r\n", "\n").rstrip("\n")
    return name + (": " + text.replace("\n", "\\n") if text else "")


def listing(root, skip=()):
    """Everything below root, sorted, folders ending in "/", files with their
    text; top-level names in skip left out."""
    entries = []
    for folder, dirs, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        if relative == ".":
            dirs[:] = [name for name in dirs if name not in skip]
            files = [name for name in files if name not in skip]
        for name in dirs:
            entries.append(os.path.normpath(os.path.join(relative, name)) + "/")
        for name in files:
            entries.append(file_entry(os.path.join(folder, name), os.path.normpath(os.path.join(relative, name))))
    return sorted(entries)


def staged_listing(prefix):
    return "".join(entry + "\n" for entry in listing(os.path.join(host_c(prefix), "quor"))).encode()


def make_entries(root, lines, text_of):
    """Makes the entries of a listing below root: folders ending in "/",
    files holding text_of(path, text after ": ")."""
    for line in lines:
        line = line.rstrip("\r\n")
        if not line or line.startswith("#"):
            continue
        if line.endswith("/"):
            os.makedirs(os.path.join(root, line), exist_ok=True)
            continue
        path, _, text = line.partition(": ")
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), "w", newline="") as handle:
            handle.write(text_of(path, text))


def prestage(prefix, scenario):
    """Lays out staged.before below C:\\quor."""
    path = os.path.join(scenario, "staged.before")
    if os.path.exists(path):
        with open(path, encoding="utf-8") as handle:
            make_entries(os.path.join(host_c(prefix), "quor"), handle,
                         lambda name, text: text.replace("\\n", "\r\n") + ("\r\n" if text else ""))


def leftovers_listing(prefix, work, case, program):
    """What the run left beside the program, and C:\\pm.log if it is left."""
    inputs = set(case.get("files", DEFAULT_FILES).split() + [program, "vexbmc32.scenario", VOLUME_FOLDER])
    inputs.update(LOGS)
    if "report" in case:
        inputs.add(case["report"])
    entries = listing(work, inputs)
    log = os.path.join(host_c(prefix), "pm.log")
    if os.path.exists(log):
        entries.append(file_entry(log, "C:\\pm.log"))
    return "".join(entry + "\n" for entry in entries).encode()


def default_layout(prefix, bin_dir):
    """For every requester folder of the product's table: branding files of
    each kind the staging deletes or keeps, an images folder with a nested
    empty one, and an empty folder."""
    done = wine(prefix, [os.path.join(bin_dir, "secupd_drive.exe"), "folders"])
    folders = done.stdout.decode().split()
    if done.returncode != 0 or len(folders) != 8:
        raise RuntimeError("cannot read the repository's folder names: %r" % done.stdout)
    return [folder + "/" + entry for folder in folders
            for entry in ("images/archive/", "empty/", "logo.gif", "branding.xml", "notes.txt",
                          "images/banner.jpg", "images/splash.png")]


def make_volume(prefix, bin_dir, work, scenario, label):
    """Lays out the repository volume in the work folder, as the scenario's
    volume.layout says or by default; each file holds its own path."""
    layout_path = os.path.join(scenario, "volume.layout")
    if os.path.exists(layout_path):
        with open(layout_path, encoding="utf-8") as handle:
            layout = handle.read().splitlines()
    else:
        layout = default_layout(prefix, bin_dir)
    volume = os.path.join(work, VOLUME_FOLDER)
    os.makedirs(volume)
    with open(os.path.join(volume, ".windows-label"), "w") as handle:
        handle.write(label)
    make_entries(volume, layout, lambda path, text: path + "\r\n")
    return volume


def run_program(prefix, args, cwd, on_first_retry):
    """Runs the program, reading its standard error as it comes, and calls
    on_first_retry at its first "Mount point not found" line."""
    process = subprocess.Popen(["sh", RUNNER, prefix] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    errors = []

    def read_errors():
        seen = False
        for line in iter(process.stderr.readline, b""):
            errors.append(line)
            if not seen and line.startswith(b"Mount point not found") and on_first_retry:
                seen = True
                on_first_retry()

    reader = threading.Thread(target=read_errors)
    reader.start()
    output = process.stdout.read()
    process.wait(timeout=300)
    reader.join()
    stderr = b"".join(line for line in errors if not line.startswith(b"wine: "))
    return subprocess.CompletedProcess(args, process.returncode, output, stderr)


HOST_VENDOR = "/sys/class/dmi/id/sys_vendor"
NO_MANUFACTURER = b"Getting manufacturername  0 \n"


def host_vendor():
    """The manufacturer Wine's SMBIOS table carries: the host's vendor text
    without trailing blanks; empty where the host has none (as on the
    machines these scenarios were recorded on)."""
    try:
        with open(HOST_VENDOR, "rb") as handle:
            return handle.read().rstrip(b"\r\n").rstrip(b" ")
    except OSError:
        return b""


def with_host_vendor(expected_stderr, expected):
    """Expectations recorded without a host vendor, adjusted to this host's:
    only where the collector asked for the manufacturer and found none."""
    vendor = host_vendor()
    if not vendor or NO_MANUFACTURER not in expected_stderr:
        return expected
    expected = expected.replace(NO_MANUFACTURER, b"Getting manufacturername %s %d \n" % (vendor, len(vendor)))
    return expected.replace(b"PMManufacturerName=\n", b"PMManufacturerName=" + vendor + b"\n")


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def compare(name, expected, actual, failures):
    if expected == actual:
        return
    diff = difflib.unified_diff(expected.decode("latin-1").splitlines(keepends=True),
                                actual.decode("latin-1").splitlines(keepends=True),
                                "expected " + name, "actual " + name)
    failures.append("".join(repr(line)[1:-1] + "\n" for line in diff) or name + " differs\n")


def read_bytes(path):
    with open(path, "rb") as handle:
        return handle.read()


def lf(data):
    return data.replace(b"\r\n", b"\n")


def record(scenario, work, case, done, registry, prefix, program):
    def write(name, data):
        with open(os.path.join(scenario, name), "wb") as handle:
            handle.write(data)
    write("exit", b"%d\n" % done.returncode)
    write("stdout", lf(done.stdout))
    write("stderr", lf(done.stderr))
    write("registry", registry.encode() + b"\n")
    for log, source in (("calls.log", "vexbmc32-calls.log"), ("ruxainst.log", "ruxainst.log")):
        path = os.path.join(work, source)
        if os.path.exists(path):
            write(log, lf(read_bytes(path)))
        elif os.path.exists(os.path.join(scenario, log)):
            os.remove(os.path.join(scenario, log))
    if "report" in case and os.path.exists(os.path.join(work, case["report"])):
        write("report", lf(read_bytes(os.path.join(work, case["report"]))))
    if os.path.exists(os.path.join(scenario, "staged")):
        write("staged", staged_listing(prefix))
    if os.path.exists(os.path.join(scenario, "leftovers")):
        write("leftovers", leftovers_listing(prefix, work, case, program))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64)
    parser.add_argument("--tools")
    parser.add_argument("--record", action="store_true")
    parser.add_argument("scenario")
    options = parser.parse_args()

    scenario = os.path.abspath(options.scenario)
    name = os.path.basename(scenario.rstrip("/"))
    case = read_case(os.path.join(scenario, "case"))

    # A blank in the folder name checks that the script's path is quoted.
    work = os.path.join(os.path.abspath(options.work), "run dir", name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    program = case.get("program", "pmquery.exe")
    for file_name in set(case.get("files", DEFAULT_FILES).split() + [program]):
        shutil.copy(os.path.join(options.bin, file_name), work)
    if os.path.exists(os.path.join(scenario, "vexbmc32.scenario")):
        shutil.copy(os.path.join(scenario, "vexbmc32.scenario"), work)

    set_registry(options.prefix, "absent", 96 - options.bits)
    set_registry(options.prefix, case.get("registry", "absent"), options.bits)
    clear_staging(options.prefix)
    prestage(options.prefix, scenario)

    letter = case.get("volume")
    tools = options.tools or options.bin
    helper = os.path.join(tools, "secupd_drive.exe")
    mappers = []
    map_late = None
    if letter:
        wine(options.prefix, [helper, "unmap", letter])
        volume = make_volume(options.prefix, tools, work, scenario, case.get("volume_label", "SECUPD"))
        if "volume_delay" in case:
            def map_late():
                mappers.append(wine_async(options.prefix, [helper, "map", letter, volume, case["volume_delay"]]))
        elif wine(options.prefix, [helper, "map", letter, volume]).returncode != 0:
            raise RuntimeError("cannot map the repository volume as %s:" % letter)
    try:
        # The program is named by its path in the current folder, where
        # Wine would find it too: the adapter's own folder comes first in
        # the search for a bare name.
        command = [os.path.join(tools, ADAPTER), "--launch", ".\\" + program]
        done = run_program(options.prefix, command + case.get("args", "").split(), work, map_late)
    finally:
        for mapper in mappers:
            mapper.wait(timeout=60)
        if letter:
            wine(options.prefix, [helper, "unmap", letter])

    if options.record:
        record(scenario, work, case, done, registry_state(options.prefix, options.bits), options.prefix, program)
        set_registry(options.prefix, "absent", options.bits)
        return 0

    failures = []
    compare("exit", read_bytes(os.path.join(scenario, "exit")).strip(), str(done.returncode).encode(), failures)
    expected_stderr = read_bytes(os.path.join(scenario, "stderr"))
    compare("stdout", crlf(with_host_vendor(expected_stderr, read_bytes(os.path.join(scenario, "stdout")))),
            done.stdout, failures)
    compare("stderr", crlf(with_host_vendor(expected_stderr, expected_stderr)), done.stderr, failures)
    compare("registry", read_bytes(os.path.join(scenario, "registry")).strip(),
            registry_state(options.prefix, options.bits).encode(), failures)
    other_bits = 96 - options.bits
    compare("registry in the %d-bit view" % other_bits, b"absent",
            registry_state(options.prefix, other_bits).encode(), failures)
    for log in ("calls.log", "ruxainst.log"):
        expected_path = os.path.join(scenario, log)
        actual_path = os.path.join(work, "vexbmc32-calls.log" if log == "calls.log" else log)
        expected = read_bytes(expected_path) if os.path.exists(expected_path) else None
        actual = read_bytes(actual_path) if os.path.exists(actual_path) else None
        if log == "ruxainst.log" and actual is not None:
            actual = actual.replace(b"\r\n", b"\n")  # written by cmd.exe
        if expected is None or actual is None:
            if expected != actual:
                failures.append("%s: expected %s, found %s\n" % (
                    log, "none" if expected is None else "a log", "none" if actual is None else repr(actual)))
        else:
            compare(log, expected, actual, failures)
    if "report" in case:
        report_path = os.path.join(work, case["report"])
        actual = read_bytes(report_path) if os.path.exists(report_path) else b"<no report file>"
        compare("report", crlf(with_host_vendor(expected_stderr, read_bytes(os.path.join(scenario, "report")))),
                actual, failures)
    if os.path.exists(os.path.join(scenario, "staged")):
        compare("staged", read_bytes(os.path.join(scenario, "staged")), staged_listing(options.prefix), failures)
    if os.path.exists(os.path.join(scenario, "leftovers")):
        compare("leftovers", read_bytes(os.path.join(scenario, "leftovers")),
                leftovers_listing(options.prefix, work, case, program), failures)

    # Leave the agent as the next scenario expects to find it: not installed.
    set_registry(options.prefix, "absent", options.bits)

    if failures:
        sys.stderr.write("scenario %s failed (work folder %s):\n" % (name, work))
        for failure in failures:
            sys.stderr.write(failure)
        return 1
    print("scenario %s passed" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
