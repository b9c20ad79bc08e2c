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
                       runs=2        run the program twice in the same prefix:
                                     the folder "first" holds the first run's
                                     expectations (the files below, as for a
                                     single run) and its volume.layout; the
                                     files of the scenario folder are the
                                     second run's. Between the runs only the
                                     volume's content changes (to the
                                     scenario's volume.layout); C:\quor, the
                                     registry and the work folder stay as the
                                     first run left them, but for the logs of
                                     the simulated controller and the agent
                                     script, which each run starts afresh
                       time_limit=S  a run still going after S seconds (default
                                     240) is stopped and fails
  vexbmc32.scenario  the simulated controller's scenario (optional)
  volume.layout      the repository volume's content (optional): one path a
                     line below the volume's root, folders ending in "/";
                     each file holds its own path, so a staged copy shows
                     where it came from, or the text after ": "
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

After every run none of the programs a run starts (pmquery.exe,
pmstatus_probe.exe, xcopy.exe) may still run in the prefix. When a helper
run under Wine fails (secupd_drive.exe, reg.exe), the error
names its command, exit status, standard output and standard error.

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
import time

AGENT_KEY = r"HKLM\SOFTWARE\Quor Computer Corporation\QuorRuxa\CurrentVersion"
DEFAULT_FILES = "pmquery.exe velmora.dll vexbmc32.dll ruxainst.bat"
ADAPTER = "comspec_adapter.exe"
VOLUME_FOLDER = "secupd volume"
FIRST_RUN = "first"
MAP_TRIGGER = "map-volume-now"
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


def helper_failure(what, done):
    """A helper's failure, with everything it said: its command, exit status,
    standard output and standard error."""
    return RuntimeError("%s: %s exited with status %d\n  stdout: %r\n  stderr: %r" % (
        what, " ".join(done.args[2:]), done.returncode, done.stdout, done.stderr))


def view(bits):
    return "/reg:%d" % bits


def set_registry(prefix, state, bits):
    wine(prefix, ["reg", "delete", AGENT_KEY, "/v", "Version", "/f", view(bits)])
    if state == "absent":
        return
    value = "" if state == "empty" else state
    done = wine(prefix, ["reg", "add", AGENT_KEY, "/v", "Version", "/t", "REG_SZ", "/d", value, "/f", view(bits)])
    if done.returncode != 0:
        raise helper_failure("cannot set the agent's registry value", done)


def registry_state(prefix, bits):
    done = wine(prefix, ["reg", "query", AGENT_KEY, "/v", "Version", view(bits)])
    if done.returncode != 0:
        return "absent"
    for line in done.stdout.decode(errors="replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0] == "Version" and parts[1] == "REG_SZ":
            return "value=" + (parts[2] if len(parts) == 3 else "")
    return "unreadable: " + done.stdout.decode(errors="replace")


def wine_async(prefix, args, cwd=None):
    return subprocess.Popen(["sh", RUNNER, prefix] + args, cwd=cwd, stdin=subprocess.DEVNULL,
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
    inputs = set(case.get("files", DEFAULT_FILES).split() +
                 [program, "vexbmc32.scenario", VOLUME_FOLDER, MAP_TRIGGER])
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
        raise helper_failure("cannot read the repository's folder names", done)
    return [folder + "/" + entry for folder in folders
            for entry in ("images/archive/", "empty/", "logo.gif", "branding.xml", "notes.txt",
                          "images/banner.jpg", "images/splash.png")]


def volume_layout(prefix, bin_dir, path):
    """The lines of a volume.layout file, or the default layout without one."""
    if os.path.exists(path):
        with open(path, encoding="utf-8") as handle:
            return handle.read().splitlines()
    return default_layout(prefix, bin_dir)


def lay_out_volume(volume, layout):
    """Fills the volume folder as the layout says, after removing what it
    held (its label stays); each file holds the text after ": ", or else its
    own path."""
    for name in os.listdir(volume):
        if name == ".windows-label":
            continue
        path = os.path.join(volume, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    make_entries(volume, layout, lambda path, text: (text or path) + "\r\n")


def make_volume(work, label):
    """Makes the repository volume's folder in the work folder, empty but
    for its label."""
    volume = os.path.join(work, VOLUME_FOLDER)
    os.makedirs(volume)
    with open(os.path.join(volume, ".windows-label"), "w") as handle:
        handle.write(label)
    return volume


def run_program(prefix, args, cwd, on_first_retry, time_limit):
    """Runs the program, reading its standard error as it comes, and calls
    on_first_retry at its first "Mount point not found" line. A program
    still running after time_limit seconds is stopped; the result then has
    the return code None."""
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

    timed_out = []

    def stop():
        timed_out.append(True)
        # What the run started goes too, or the pipes would stay open.
        for image in RUN_IMAGES:
            wine(prefix, ["taskkill", "/f", "/im", image])
        process.kill()

    timer = threading.Timer(time_limit, stop)
    timer.start()
    reader = threading.Thread(target=read_errors)
    reader.start()
    output = process.stdout.read()
    process.wait()
    timer.cancel()
    reader.join()
    stderr = b"".join(line for line in errors if not line.startswith(b"wine: "))
    return subprocess.CompletedProcess(args, None if timed_out else process.returncode, output, stderr)


# The Windows programs a run of pmquery starts; none may be left running.
RUN_IMAGES = ("pmquery.exe", "pmstatus_probe.exe", "xcopy.exe")


def running_images(prefix, bin_dir):
    """Which of RUN_IMAGES run in the prefix."""
    done = wine(prefix, [os.path.join(bin_dir, "secupd_drive.exe"), "processes"])
    if done.returncode != 0:
        raise helper_failure("cannot list the prefix's processes", done)
    names = {line.strip().lower() for line in done.stdout.decode(errors="replace").splitlines()}
    return sorted(image for image in RUN_IMAGES if image in names)


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


def record(expect, work, case, done, registry, prefix, program):
    os.makedirs(expect, exist_ok=True)

    def write(name, data):
        with open(os.path.join(expect, name), "wb") as handle:
            handle.write(data)
    write("exit", b"%s\n" % str(done.returncode).encode())
    write("stdout", lf(done.stdout))
    write("stderr", lf(done.stderr))
    write("registry", registry.encode() + b"\n")
    for log, source in (("calls.log", "vexbmc32-calls.log"), ("ruxainst.log", "ruxainst.log")):
        path = os.path.join(work, source)
        if os.path.exists(path):
            write(log, lf(read_bytes(path)))
        elif os.path.exists(os.path.join(expect, log)):
            os.remove(os.path.join(expect, log))
    if "report" in case and os.path.exists(os.path.join(work, case["report"])):
        write("report", lf(read_bytes(os.path.join(work, case["report"]))))
    if os.path.exists(os.path.join(expect, "staged")):
        write("staged", staged_listing(prefix))
    if os.path.exists(os.path.join(expect, "leftovers")):
        write("leftovers", leftovers_listing(prefix, work, case, program))


def check(expect, work, case, done, options, program):
    """Compares what one run left behind with the expectations in the folder
    expect; returns the differences."""
    failures = []
    if done.returncode is None:
        failures.append("the program did not end within %s s\n" % case.get("time_limit", DEFAULT_TIME_LIMIT))
    compare("exit", read_bytes(os.path.join(expect, "exit")).strip(), str(done.returncode).encode(), failures)
    expected_stderr = read_bytes(os.path.join(expect, "stderr"))
    compare("stdout", crlf(with_host_vendor(expected_stderr, read_bytes(os.path.join(expect, "stdout")))),
            done.stdout, failures)
    compare("stderr", crlf(with_host_vendor(expected_stderr, expected_stderr)), done.stderr, failures)
    compare("registry", read_bytes(os.path.join(expect, "registry")).strip(),
            registry_state(options.prefix, options.bits).encode(), failures)
    other_bits = 96 - options.bits
    compare("registry in the %d-bit view" % other_bits, b"absent",
            registry_state(options.prefix, other_bits).encode(), failures)
    for log in ("calls.log", "ruxainst.log"):
        expected_path = os.path.join(expect, log)
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
        compare("report", crlf(with_host_vendor(expected_stderr, read_bytes(os.path.join(expect, "report")))),
                actual, failures)
    if os.path.exists(os.path.join(expect, "staged")):
        compare("staged", read_bytes(os.path.join(expect, "staged")), staged_listing(options.prefix), failures)
    if os.path.exists(os.path.join(expect, "leftovers")):
        compare("leftovers", read_bytes(os.path.join(expect, "leftovers")),
                leftovers_listing(options.prefix, work, case, program), failures)
    left = running_images(options.prefix, options.tools)
    if left:
        failures.append("still running after the program ended: %s\n" % " ".join(left))
    return failures


DEFAULT_TIME_LIMIT = 240


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
    # The programs run in the work folder: relative paths would miss.
    options.bin = os.path.abspath(options.bin)
    options.prefix = os.path.abspath(options.prefix)
    options.tools = os.path.abspath(options.tools) if options.tools else options.bin

    scenario = os.path.abspath(options.scenario)
    name = os.path.basename(scenario.rstrip("/"))
    case = read_case(os.path.join(scenario, "case"))
    repeated = case.get("runs", "1") == "2"
    # The runs, in order: the folder of each one's expectations and the
    # volume's layout for it.
    runs = [(os.path.join(scenario, FIRST_RUN), os.path.join(scenario, FIRST_RUN, "volume.layout"))] \
        if repeated else []
    runs.append((scenario, os.path.join(scenario, "volume.layout")))
    time_limit = float(case.get("time_limit", DEFAULT_TIME_LIMIT))

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
    tools = options.tools
    helper = os.path.join(tools, "secupd_drive.exe")
    mappers = []
    map_late = None
    volume = None
    if letter:
        wine(options.prefix, [helper, "unmap", letter])
        volume = make_volume(work, case.get("volume_label", "SECUPD"))
        lay_out_volume(volume, volume_layout(options.prefix, tools, runs[0][1]))
        if "volume_delay" in case:
            # The mapping helper waits, already started, for a file that
            # appears volume_delay ms after the first retry line; a helper
            # started only then would map up to seconds later on a busy
            # machine, and the program would see one attempt more.
            trigger = os.path.join(work, MAP_TRIGGER)
            mappers.append(wine_async(options.prefix, [helper, "map-when", MAP_TRIGGER, letter, volume], cwd=work))
            timers = []

            def pull_trigger():
                open(trigger, "w").close()

            def map_late():
                timers.append(threading.Timer(int(case["volume_delay"]) / 1000.0, pull_trigger))
                timers[-1].start()
        else:
            done = wine(options.prefix, [helper, "map", letter, volume])
            if done.returncode != 0:
                raise helper_failure("cannot map the repository volume as %s:" % letter, done)
    failures = []
    try:
        for number, (expect, layout) in enumerate(runs, 1):
            if number > 1:
                # The volume changes between runs; C:\quor and the registry
                # stay as the run before left them. Each run's logs are its own.
                if volume:
                    lay_out_volume(volume, volume_layout(options.prefix, tools, layout))
                for log in LOGS:
                    if os.path.exists(os.path.join(work, log)):
                        os.remove(os.path.join(work, log))
            # The program is named by its path in the current folder, where
            # Wine would find it too: the adapter's own folder comes first in
            # the search for a bare name.
            command = [os.path.join(tools, ADAPTER), "--launch", ".\\" + program]
            started = time.monotonic()
            done = run_program(options.prefix, command + case.get("args", "").split(), work, map_late, time_limit)
            if mappers:
                # A program that never waited for the volume still lets the
                # helper end.
                for timer in timers:
                    timer.join()
                if not os.path.exists(trigger):
                    pull_trigger()
            took = time.monotonic() - started
            if repeated:
                print("%s run: %.1f s" % (FIRST_RUN if expect != scenario else "second", took))
            for mapper in mappers:
                mapper.wait(timeout=60)
            mappers.clear()
            map_late = None
            title = "" if expect == scenario else "%s run: " % FIRST_RUN
            if options.record:
                record(expect, work, case, done, registry_state(options.prefix, options.bits), options.prefix,
                       program)
            else:
                failures += [title + failure for failure in check(expect, work, case, done, options, program)]
    finally:
        for mapper in mappers:
            mapper.wait(timeout=60)
        if letter:
            wine(options.prefix, [helper, "unmap", letter])
        # Leave the agent as the next scenario expects to find it: not installed.
        set_registry(options.prefix, "absent", options.bits)

    if options.record:
        return 0
    if failures:
        sys.stderr.write("scenario %s failed (work folder %s):\n" % (name, work))
        for failure in failures:
            sys.stderr.write(failure)
        return 1
    print("scenario %s passed" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
