#!/usr/bin/env python3
"""Runs one end-to-end scenario of pmquery.exe under Wine against the
simulated controller, and compares everything it leaves behind.

usage: run_scenario.py --prefix WINEPREFIX --bin BUILD_BIN --work WORK_ROOT [--bits 32|64] SCENARIO_DIR

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
                                     laid out with one folder per requester
                                     (names from secupd_drive.exe), files and
                                     subfolders in each, some of them empty
                       volume_label=TEXT  its label (default SECUPD)
                       volume_delay=MS    map it only MS milliseconds after
                                     the program's first "Mount point not
                                     found" line, instead of before the run
  vexbmc32.scenario  the simulated controller's scenario (optional)
  exit, stdout, stderr            expected exit code and output
  registry           expected registry value afterwards: "absent" or "value=TEXT"
  calls.log          expected call log of the bridge library (none: no call)
  ruxainst.log       expected runs of the agent script (none: no run)
  report             expected report file (when case names one)
  staged             expected files and folders below C:\quor of the prefix
                     afterwards, one relative path a line, folders ending
                     in "/" (optional; C:\quor is emptied before every run)

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


def staged_listing(prefix):
    root = os.path.join(host_c(prefix), "quor")
    entries = []
    for folder, dirs, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        for name in dirs:
            entries.append(os.path.normpath(os.path.join(relative, name)) + "/")
        for name in files:
            entries.append(os.path.normpath(os.path.join(relative, name)))
    return "".join(entry + "\n" for entry in sorted(entries)).encode()


def make_volume(prefix, bin_dir, work, label):
    """Lays out the repository volume in the work folder: for every requester
    folder of the product's table, branding files of each kind the staging
    deletes or keeps, an images folder with a nested empty one, and an empty
    folder."""
    done = wine(prefix, [os.path.join(bin_dir, "secupd_drive.exe"), "folders"])
    folders = done.stdout.decode().split()
    if done.returncode != 0 or len(folders) != 8:
        raise RuntimeError("cannot read the repository's folder names: %r" % done.stdout)
    volume = os.path.join(work, "secupd volume")
    os.makedirs(volume)
    with open(os.path.join(volume, ".windows-label"), "w") as handle:
        handle.write(label)
    for folder in folders:
        base = os.path.join(volume, folder)
        os.makedirs(os.path.join(base, "images", "archive"))
        os.makedirs(os.path.join(base, "empty"))
        for name in ("logo.gif", "branding.xml", "notes.txt", os.path.join("images", "banner.jpg"),
                     os.path.join("images", "splash.png")):
            with open(os.path.join(base, name), "w") as handle:
                handle.write("%s %s\n" % (folder, name))
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


def record(scenario, work, case, done, registry, prefix):
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64)
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

    letter = case.get("volume")
    helper = os.path.join(options.bin, "secupd_drive.exe")
    mappers = []
    map_late = None
    if letter:
        wine(options.prefix, [helper, "unmap", letter])
        volume = make_volume(options.prefix, options.bin, work, case.get("volume_label", "SECUPD"))
        if "volume_delay" in case:
            def map_late():
                mappers.append(wine_async(options.prefix, [helper, "map", letter, volume, case["volume_delay"]]))
        elif wine(options.prefix, [helper, "map", letter, volume]).returncode != 0:
            raise RuntimeError("cannot map the repository volume as %s:" % letter)
    try:
        done = run_program(options.prefix, [program] + case.get("args", "").split(), work, map_late)
    finally:
        for mapper in mappers:
            mapper.wait(timeout=60)
        if letter:
            wine(options.prefix, [helper, "unmap", letter])

    if options.record:
        record(scenario, work, case, done, registry_state(options.prefix, options.bits), options.prefix)
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
