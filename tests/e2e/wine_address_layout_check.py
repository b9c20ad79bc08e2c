#!/usr/bin/env python3
"""Checks that the Wine processes of the tests run with the kernel's address
randomization off (cmake/wine-env.sh tells why), both the program that
wine-run.sh starts and a program that it starts in turn.

usage: wine_address_layout_check.py PREFIX

Starts an interpreter that starts a second one, which waits for a line on
its standard input; while both wait, their Unix processes are found by a
marker in their environment and their personality flags are read.
"""
import os
import subprocess
import sys
import time

ADDR_NO_RANDOMIZE = 0x0040000
RUNNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "wine-run.sh")


def marked_interpreters(marker):
    """Personality flags of every interpreter whose environment holds marker
    (Wine names a process after its program)."""
    found = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % name) as handle:
                if handle.read().strip().lower() != "cmd.exe":
                    continue
            with open("/proc/%s/environ" % name, "rb") as handle:
                if marker not in handle.read().split(b"\0"):
                    continue
            with open("/proc/%s/personality" % name) as handle:
                found[int(name)] = int(handle.read(), 16)
        except OSError:
            continue  # ended meanwhile, or not ours to read
    return found


def main():
    prefix = sys.argv[1]
    marker = "VELMORA_LAYOUT_PROBE=%d" % os.getpid()
    env = dict(os.environ, VELMORA_LAYOUT_PROBE=str(os.getpid()))
    outer = subprocess.Popen(["sh", RUNNER, prefix, "cmd.exe", "/c", "cmd.exe /c pause"], env=env,
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 120
        found = {}
        while time.monotonic() < deadline and len(found) < 2:
            time.sleep(0.2)
            found = marked_interpreters(marker.encode())
    finally:
        outer.communicate(b"\r\n", timeout=120)
    if len(found) < 2:
        print("expected both interpreters' Wine processes, found %r" % found)
        return 1
    randomized = [pid for pid, flags in found.items() if not flags & ADDR_NO_RANDOMIZE]
    if randomized:
        print("Wine processes with address randomization on: %r (flags %r)" % (randomized, found))
        return 1
    print("%d Wine processes, address randomization off in each" % len(found))
    return 0


if __name__ == "__main__":
    sys.exit(main())
