#!/usr/bin/env python3
"""Runs one end-to-end scenario of pmquery.exe under Wine against the
simulated controller, and compares everything it leaves behind.

usage: run_scenario.py --prefix WINEPREFIX --bin BUILD_BIN --work WORK_ROOT SCENARIO_DIR

A scenario directory holds:
  case               key=value lines:
                       args=...      pmquery's arguments (blank-separated)
                       registry=...  the agent's registry value before the run:
                                     absent, empty, or the value's text
                       files=...     what lies beside pmquery.exe (default:
                                     pmquery.exe velmora.dll vexbmc32.dll ruxainst.bat)
                       report=NAME   the report file pmquery writes, if any
                       program=NAME  the program to run (default pmquery.exe)
  vexbmc32.scenario  the simulated controller's scenario (optional)
  exit, stdout, stderr            expected exit code and output
  registry           expected registry value afterwards: "absent" or "value=TEXT"
  calls.log          expected call log of the bridge library (none: no call)
  ruxainst.log       expected runs of the agent script (none: no run)
  report             expected report file (when case names one)

--record writes what the run left behind as the scenario's expectations, to
start a new scenario; read every recorded file before committing it.

Windows programs write text with CR LF line ends: the expected stdout,
stderr and report are kept with LF and compared after LF -> CR LF.
"""
import argparse
import difflib
import os
import shutil
import subprocess
import sys

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


def set_registry(prefix, state):
    wine(prefix, ["reg", "delete", AGENT_KEY, "/v", "Version", "/f"])
    if state == "absent":
        return
    value = "" if state == "empty" else state
    done = wine(prefix, ["reg", "add", AGENT_KEY, "/v", "Version", "/t", "REG_SZ", "/d", value, "/f"])
    if done.returncode != 0:
        raise RuntimeError("cannot set the agent's registry value: " + done.stderr.decode(errors="replace"))


def registry_state(prefix):
    done = wine(prefix, ["reg", "query", AGENT_KEY, "/v", "Version"])
    if done.returncode != 0:
        return "absent"
    for line in done.stdout.decode(errors="replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0] == "Version" and parts[1] == "REG_SZ":
            return "value=" + (parts[2] if len(parts) == 3 else "")
    return "unreadable: " + done.stdout.decode(errors="replace")


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


def record(scenario, work, case, done, registry):
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
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

    set_registry(options.prefix, case.get("registry", "absent"))
    done = wine(options.prefix, [program] + case.get("args", "").split(), cwd=work)

    if options.record:
        record(scenario, work, case, done, registry_state(options.prefix))
        set_registry(options.prefix, "absent")
        return 0

    failures = []
    compare("exit", read_bytes(os.path.join(scenario, "exit")).strip(), str(done.returncode).encode(), failures)
    compare("stdout", crlf(read_bytes(os.path.join(scenario, "stdout"))), done.stdout, failures)
    compare("stderr", crlf(read_bytes(os.path.join(scenario, "stderr"))), done.stderr, failures)
    compare("registry", read_bytes(os.path.join(scenario, "registry")).strip(),
            registry_state(options.prefix).encode(), failures)
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
        compare("report", crlf(read_bytes(os.path.join(scenario, "report"))), actual, failures)

    # Leave the agent as the next scenario expects to find it: not installed.
    set_registry(options.prefix, "absent")

    if failures:
        sys.stderr.write("scenario %s failed (work folder %s):\n" % (name, work))
        for failure in failures:
            sys.stderr.write(failure)
        return 1
    print("scenario %s passed" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
