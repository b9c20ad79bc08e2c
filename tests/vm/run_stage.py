#!/usr/bin/env python3
"""The virtual-machine stage: hwinspect against real firmware.

usage: run_stage.py --hwinspect PATH --kernel PATH --work DIR
                    [--boots NAME,...] [--timeout SECONDS]

Builds an initramfs (busybox, hwinspect with the libraries it loads, the
guest's test script and what make_structures.py generated), then boots one
QEMU guest per firmware configuration, one after the other, each without a
network device and bounded by the timeout. A boot passes only on the guest's
plain closing line "N passed, 0 failed"; no such line (a hang, a panic, a
crash of the script) fails it. Exits 0 when every boot passed.

Boots:
  main     SMBIOS 2.8 with every structure; the table is small enough for the
           firmware to keep it in the F0000h segment, where /dev/mem reads it
  high     the same with a padded table and 256 MiB: the firmware puts the
           table above /dev/mem's reach; a checksum that cannot be kept
  smbios3  an SMBIOS 3.0 entry point only
"""
import argparse
import gzip
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MANUFACTURER = "Stage Rig"

BOOTS = {
    "main": {"memory": "256", "machine": [], "padding": False},
    "high": {"memory": "256", "machine": [], "padding": True},
    "smbios3": {"memory": "256", "machine": ["-machine", "smbios-entry-point-type=64"], "padding": False},
}
SUMMARY = re.compile(r"^(\d+) passed, (\d+) failed$")


def newc_entry(name, mode, data=b"", ino=[1000]):
    ino[0] += 1
    name_bytes = name.encode() + b"\0"
    fields = [ino[0], mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name_bytes), 0]
    header = b"070701" + b"".join(b"%08X" % f for f in fields)
    entry = header + name_bytes
    entry += b"\0" * (-len(entry) % 4)
    entry += data
    entry += b"\0" * (-len(entry) % 4)
    return entry


def libraries_of(program):
    """The shared libraries the dynamic loader maps for `program`, loader included."""
    done = subprocess.run(["ldd", program], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        if "not a dynamic executable" in done.stdout:
            return []
        raise SystemExit("run_stage.py: ldd %s failed: %s" % (program, done.stdout.strip()))
    paths = []
    for line in done.stdout.splitlines():
        match = re.search(r"(/\S+) \(0x", line)
        if match:
            paths.append(match.group(1))
    return paths


def stripped(program, work):
    """A copy of `program` without its debugging sections: a smaller archive
    for the guest's kernel to unpack."""
    copy = os.path.join(work, os.path.basename(program))
    if subprocess.run(["strip", "-o", copy, program], stderr=subprocess.DEVNULL).returncode != 0:
        shutil.copyfile(program, copy)
    return copy


def build_initramfs(args, structures):
    files = {
        "init": (0o100755, open(os.path.join(HERE, "init.sh"), "rb").read()),
        "guest_test.sh": (0o100644, open(os.path.join(HERE, "guest_test.sh"), "rb").read()),
        "expected.sh": (0o100644, open(os.path.join(structures, "expected.sh"), "rb").read()),
        "bin/busybox": (0o100755, open(args.busybox, "rb").read()),
        "bin/hwinspect": (0o100755, open(stripped(args.hwinspect, args.work), "rb").read()),
    }
    for library in libraries_of(args.hwinspect):
        files[library.lstrip("/")] = (0o100755, open(os.path.realpath(library), "rb").read())
    folders = {"proc", "sys", "dev", "tmp"}
    for name in files:
        parts = name.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            folders.add("/".join(parts[:i]))
    archive = b"".join(newc_entry(folder, 0o40755) for folder in sorted(folders))
    archive += b"".join(newc_entry(name, mode, data) for name, (mode, data) in sorted(files.items()))
    archive += newc_entry("TRAILER!!!", 0)
    path = os.path.join(args.work, "initramfs.cpio.gz")
    with open(path, "wb") as out:
        out.write(gzip.compress(archive, compresslevel=1))
    return path


def structure_files(structures, boot):
    chosen = "high" if boot == "high" else "main"
    expected = open(os.path.join(structures, "expected.sh"), encoding="utf-8").read()
    handles = re.search(r"^HANDLES_%s='([^']*)'" % chosen, expected, re.M).group(1).split()
    return [os.path.join(structures, handle + ".bin") for handle in handles]


def run_boot(args, name, initramfs, structures, log):
    boot = BOOTS[name]
    # -nodefaults: no network, disk, floppy or graphics devices for the
    # kernel to probe; the serial port carries the guest's output.
    command = [args.qemu, "-M", "pc", "-nodefaults"] + boot["machine"] + [
        "-m", boot["memory"], "-nic", "none", "-display", "none",
        "-serial", "stdio", "-no-reboot", "-kernel", args.kernel, "-initrd", initramfs,
        "-append", "console=ttyS0 quiet panic=-1 8250.nr_uarts=1 mitigations=off velmora.boot=" + name,
        "-smbios", "type=1,manufacturer=" + MANUFACTURER,
        # A short firmware version string keeps the main table within the
        # 600 bytes the firmware places in the F0000h segment.
        "-smbios", "type=0,version=1.16",
    ]
    if boot["padding"]:
        # Enough to make the firmware place the table in high memory.
        command += ["-smbios", "type=11,value=" + "padding " * 120]
    for blob in structure_files(structures, name):
        command += ["-smbios", "file=" + blob]
    # mitigations=off: the guest runs only these tests, and page-table
    # isolation makes every system call dear under emulation.
    started = time.monotonic()
    try:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=args.timeout)
        output, status = done.stdout, done.returncode
    except subprocess.TimeoutExpired as expired:
        output, status = expired.stdout or b"", "timeout after %d s" % args.timeout
    seconds = time.monotonic() - started
    text = output.decode("utf-8", "replace").replace("\r", "")
    log.write("==== boot %s (%s)\n%s\n" % (name, " ".join(command), text))
    summaries = [SUMMARY.match(line) for line in text.splitlines()]
    summaries = [m for m in summaries if m]
    failures = [line for line in text.splitlines() if line.startswith("FAIL")]
    for line in failures:
        print("  %s: %s" % (name, line))
    if status != 0:
        verdict = "QEMU: %s" % status
    elif len(summaries) != 1:
        verdict = "no closing line from the guest"
    elif int(summaries[0].group(2)) != 0 or int(summaries[0].group(1)) == 0:
        verdict = summaries[0].group(0)
    else:
        print("  %-8s %s (%.1f s)" % (name, summaries[0].group(0), seconds))
        return int(summaries[0].group(1)), True
    print("  %-8s FAILED: %s (%.1f s; the guest's output is in %s)" % (name, verdict, seconds, log.name))
    return int(summaries[0].group(1)) if len(summaries) == 1 else 0, False


def main():
    parser = argparse.ArgumentParser(description="hwinspect in QEMU guests with real firmware")
    parser.add_argument("--hwinspect", required=True)
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--boots", default="main,high,smbios3")
    parser.add_argument("--timeout", type=int, default=120)
    parser.add_argument("--qemu", default="qemu-system-x86_64")
    parser.add_argument("--busybox", default="/bin/busybox")
    args = parser.parse_args()
    for path in (args.hwinspect, args.kernel, args.busybox):
        if not os.path.isfile(path):
            raise SystemExit("run_stage.py: %s is missing (scripts/bootstrap fetches the kernel)" % path)
    names = args.boots.split(",")
    for name in names:
        if name not in BOOTS:
            raise SystemExit("run_stage.py: unknown boot %r (boots: %s)" % (name, ", ".join(BOOTS)))

    shutil.rmtree(args.work, ignore_errors=True)
    structures = os.path.join(args.work, "structures")
    os.makedirs(structures)
    subprocess.run([sys.executable, os.path.join(HERE, "make_structures.py"),
                    os.path.join(HERE, "structures.txt"), structures], check=True)
    initramfs = build_initramfs(args, structures)

    total, all_passed = 0, True
    with open(os.path.join(args.work, "guest.log"), "w", encoding="utf-8") as log:
        for name in names:
            passed, ok = run_boot(args, name, initramfs, structures, log)
            total += passed
            all_passed = all_passed and ok
    print("linux-vm: %d boot(s), %d cases passed%s" % (len(names), total, "" if all_passed else ", FAILED"))
    return 0 if all_passed else 1


if __name__ == "__main__":
    sys.exit(main())
