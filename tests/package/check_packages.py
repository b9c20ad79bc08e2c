#!/usr/bin/env python3
"""Checks the packages scripts/package wrote, as their users meet them.

usage: check_packages.py [--packages DIR]   (default: build/packages)

Needs the build trees scripts/package used (build/linux, build/windows-x64,
build/windows-x86) and the emulated 32-bit Wine (scripts/setup-wine32):
  - the x86 zip, unpacked into an empty folder of a fresh Wine prefix with
    the simulated controller beside it, runs a string-rebrand scenario and
    gives its report; its hwinspect.exe --version prints the version;
  - each zip holds exactly the programs, the DLL and README.txt, and each
    Windows binary carries the version resource and no link time;
  - a consumer project (tests/package/consumer) configures against the
    Linux install tree with find_package(velmora CONFIG), builds, links and
    runs; the tarball holds that install tree; cross-built against the x86
    install tree it links velmora.dll through the import library;
  - the .deb puts hwinspect and its manual page where Debian expects them,
    and lintian reports no error.
Prints one line per check and exits non-zero when one fails.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tarfile
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_RUN = os.path.join(ROOT, "cmake", "wine-run.sh")
WINE_SERVER = os.path.join(ROOT, "cmake", "wine-server.sh")
SCENARIOS = os.path.join(ROOT, "tests", "e2e", "scenarios")
STRING_REBRAND = ("agent_absent_string_rebrand", "string_rebrand_report_file")

failures = []


def check(name, ok, detail=""):
    print("%s  %s" % ("ok  " if ok else "FAIL", name))
    if not ok:
        failures.append(name)
        if detail:
            print("      " + str(detail).replace("\n", "\n      "))
    return ok


def run(command, **kwargs):
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=600, **kwargs)


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as handle:
        found = re.search(r"project\(velmora VERSION ([0-9.]+)", handle.read())
    return found.group(1)


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def wine_env(wine):
    env = dict(os.environ)
    env["VELMORA_WINE"] = wine
    return env


def check_windows_binaries(folder, system, version):
    """The version resource and the link time of each Windows binary."""
    tool = ("i686" if system == "windows-x86" else "x86_64") + "-w64-mingw32-"
    numbers = (version + ".0" * (3 - version.count("."))).split(".")
    listed = r",\s*".join(numbers)
    for name in ("pmquery.exe", "velmora.dll", "hwinspect.exe"):
        path = os.path.join(folder, name)
        resource = run([tool + "windres", "-i", path, "-O", "rc"]).stdout.decode(errors="replace")
        wanted = [r"FILEVERSION " + listed, r"PRODUCTVERSION " + listed,
                  re.escape('VALUE "ProductName", "velmora"'),
                  re.escape('VALUE "ProductVersion", "%s"' % version),
                  re.escape('VALUE "FileVersion", "%s"' % version),
                  re.escape('VALUE "OriginalFilename", "%s"' % name), r'VALUE "FileDescription", "\w']
        missing = [text for text in wanted if not re.search(text, resource)]
        check("%s %s: version resource %s" % (system, name, version), not missing,
              "missing %r in:\n%s" % (missing, resource))
        headers = run([tool + "objdump", "-p", path]).stdout.decode(errors="replace")
        stamp = re.search(r"^Time/Date\s+(.*)$", headers, re.M)
        check("%s %s: no link time in the PE header" % (system, name),
              stamp is not None and "1970" in stamp.group(1), stamp.group(0) if stamp else headers[:400])


def check_zip(packages, system, version):
    name = "velmora-%s-%s" % (version, system)
    path = os.path.join(packages, name + ".zip")
    if not check("%s.zip exists" % name, os.path.exists(path)):
        return None
    with zipfile.ZipFile(path) as archive:
        names = sorted(archive.namelist())
        times = {info.date_time for info in archive.infolist()}
    expected = sorted(name + "/" + entry for entry in
                      ("", "README.txt", "bin/", "bin/pmquery.exe", "bin/velmora.dll", "bin/hwinspect.exe"))
    check("%s.zip holds the programs, the DLL and README.txt" % name, names == expected,
          "found %s" % names)
    check("%s.zip: every entry has one time" % name, len(times) == 1, times)
    return path


def unpack_zip(path, into):
    with zipfile.ZipFile(path) as archive:
        archive.extractall(into)
        for info in archive.infolist():
            mode = info.external_attr >> 16 & 0o777
            if mode:
                os.chmod(os.path.join(into, info.filename), mode)


def check_x86_zip_runs(path, version):
    """The shipping package in a fresh prefix, with the simulated controller
    beside the programs and nothing else of the build."""
    build = os.path.join(ROOT, "build", "windows-x86")
    wine = os.path.join(ROOT, "build", "wine32", "wine64")
    if not check("emulated 32-bit Wine is set up", os.path.exists(os.path.join(ROOT, "build", "wine32", "ready")),
                 "run scripts/setup-wine32"):
        return
    work = fresh(os.path.join(build, "package-test"))
    prefix = os.path.join(work, "prefix")
    env = wine_env(wine)
    started = run(["sh", WINE_SERVER, "start", prefix], env=env)
    if not check("fresh Wine prefix for the x86 zip", started.returncode == 0, started.stdout.decode()):
        return
    try:
        folder = fresh(os.path.join(prefix, "drive_c", "velmora"))
        unpack_zip(path, folder)
        bin_dir = os.path.join(folder, os.path.basename(path)[:-len(".zip")], "bin")
        for simulated in ("vexbmc32.dll", "ruxainst.bat"):
            source = os.path.join(build, "bin", simulated)
            if not check("simulated controller: %s built" % simulated, os.path.exists(source),
                         "build the windows-x86 preset first"):
                return
            shutil.copy(source, bin_dir)
        for scenario in STRING_REBRAND:
            done = run([sys.executable, os.path.join(ROOT, "tests", "e2e", "run_scenario.py"),
                        "--prefix", prefix, "--bin", bin_dir, "--tools", os.path.join(build, "bin"),
                        "--work", os.path.join(prefix, "drive_c", "runs"), "--bits", "32",
                        os.path.join(SCENARIOS, scenario)], env=env)
            check("x86 zip: scenario %s" % scenario, done.returncode == 0, done.stdout.decode(errors="replace"))
        done = run(["sh", WINE_RUN, prefix, os.path.join(bin_dir, "hwinspect.exe"), "--version"], env=env)
        check("x86 zip: hwinspect.exe --version prints %s" % version,
              done.returncode == 0 and done.stdout == b"hwinspect %s\r\n" % version.encode(), done.stdout)
    finally:
        run(["sh", WINE_SERVER, "stop", prefix], env=env)


def check_consumer(packages, version):
    """find_package(velmora CONFIG) against the Linux install tree, which is
    also what the tarball holds."""
    work = fresh(os.path.join(ROOT, "build", "linux", "package-test"))
    install = os.path.join(work, "install")
    done = run(["cmake", "--install", os.path.join(ROOT, "build", "linux"), "--prefix", install])
    if not check("cmake --install build/linux", done.returncode == 0, done.stdout.decode()):
        return
    tree = sorted(os.path.relpath(os.path.join(folder, name), install)
                  for folder, _, names in os.walk(install) for name in names)
    for needed in ("bin/pmquery", "bin/hwinspect", "lib/libvelmora.so", "include/velmora/pminfo.h",
                   "lib/cmake/velmora/velmoraConfig.cmake", "lib/cmake/velmora/velmoraConfigVersion.cmake",
                   "share/man/man1/hwinspect.1.gz"):
        check("install tree holds %s" % needed, needed in tree, tree)

    name = "velmora-%s-linux-x86_64" % version
    tarball = os.path.join(packages, name + ".tar.gz")
    if check("%s.tar.gz exists" % name, os.path.exists(tarball)):
        with tarfile.open(tarball) as archive:
            members = archive.getmembers()
        files = sorted(member.name[len(name) + 1:] for member in members if member.isfile())
        check("%s.tar.gz holds the install tree" % name, files == tree, "tarball %s\ninstall %s" % (files, tree))
        check("%s.tar.gz: owner root, one time" % name,
              {(m.uid, m.gid, m.uname, m.mtime) for m in members} == {(0, 0, "root", members[0].mtime)})
        # Unpacked anywhere, pmquery finds the library beside it through its
        # relative run path.
        unpacked = fresh(os.path.join(work, "unpacked tarball"))
        with tarfile.open(tarball) as archive:
            archive.extractall(unpacked)
        bin_dir = os.path.join(unpacked, name, "bin")
        done = run([os.path.join(bin_dir, "pmquery")], env={"PATH": "/usr/bin:/bin"})
        check("tarball: pmquery runs with its library", done.returncode == 255 and
              done.stdout == b"Incorrect number of arguments\n", (done.returncode, done.stdout))
        done = run([os.path.join(bin_dir, "hwinspect"), "--version"])
        check("tarball: hwinspect --version prints %s" % version,
              done.stdout == b"hwinspect %s\n" % version.encode(), done.stdout)

    build = os.path.join(work, "consumer")
    done = run(["cmake", "-S", os.path.join(ROOT, "tests", "package", "consumer"), "-B", build,
                "-DCMAKE_PREFIX_PATH=" + install])
    if not check("consumer: find_package(velmora CONFIG) configures", done.returncode == 0, done.stdout.decode()):
        return
    done = run(["cmake", "--build", build])
    if not check("consumer: builds and links velmora::velmora", done.returncode == 0, done.stdout.decode()):
        return
    done = run([os.path.join(build, "consumer")])
    check("consumer: runs against the installed library", done.returncode == 0, done.stdout.decode())


def check_windows_consumer():
    """The same consumer, cross-built against the x86 install tree: linked
    through the import library, it imports velmora.dll."""
    work = fresh(os.path.join(ROOT, "build", "windows-x86", "package-consumer"))
    install = os.path.join(work, "install")
    done = run(["cmake", "--install", os.path.join(ROOT, "build", "windows-x86"), "--prefix", install])
    if not check("cmake --install build/windows-x86", done.returncode == 0, done.stdout.decode()):
        return
    for needed in ("bin/velmora.dll", "lib/velmora.dll.a", "include/velmora/pminfo.h",
                   "lib/cmake/velmora/velmoraConfig.cmake"):
        check("x86 install tree holds %s" % needed, os.path.exists(os.path.join(install, needed)))
    build = os.path.join(work, "consumer")
    done = run(["cmake", "-S", os.path.join(ROOT, "tests", "package", "consumer"), "-B", build,
                "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "toolchain-mingw-i686.cmake"),
                "-DCMAKE_PREFIX_PATH=" + install])
    if check("x86 consumer: find_package(velmora CONFIG) configures", done.returncode == 0, done.stdout.decode()):
        done = run(["cmake", "--build", build])
        imports = run(["i686-w64-mingw32-objdump", "-p", os.path.join(build, "consumer.exe")]).stdout.decode()
        check("x86 consumer: links velmora.dll through the import library",
              done.returncode == 0 and "DLL Name: velmora.dll" in imports, done.stdout.decode())


def check_deb(packages, version):
    path = os.path.join(packages, "hwinspect_%s_amd64.deb" % version)
    if not check("hwinspect_%s_amd64.deb exists" % version, os.path.exists(path)):
        return
    listing = run(["dpkg-deb", "-c", path]).stdout.decode()
    for mode, entry in (("-rwxr-xr-x", "./usr/bin/hwinspect"), ("-rw-r--r--", "./usr/share/man/man1/hwinspect.1.gz")):
        check(".deb holds %s" % entry,
              re.search(r"^%s root/root .* %s$" % (re.escape(mode), re.escape(entry)), listing, re.M) is not None,
              listing)
    fields = run(["dpkg-deb", "-f", path, "Package", "Version", "Architecture"]).stdout.decode()
    check(".deb fields", fields == "Package: hwinspect\nVersion: %s\nArchitecture: amd64\n" % version, fields)
    done = run(["lintian", "--no-cfg", "--fail-on", "error", path])
    print("      lintian: " + (done.stdout.decode().strip().replace("\n", "\n      lintian: ") or "(nothing)"))
    check("lintian reports no error on the .deb", done.returncode == 0)


def check_sums(packages):
    path = os.path.join(packages, "SHA256SUMS")
    if not check("SHA256SUMS exists", os.path.exists(path)):
        return
    wrong = []
    with open(path) as handle:
        lines = handle.read().splitlines()
    for line in lines:
        digest, name = line.split(None, 1)
        with open(os.path.join(packages, name.lstrip("*")), "rb") as package:
            if hashlib.sha256(package.read()).hexdigest() != digest:
                wrong.append(name)
    check("SHA256SUMS names every package with its checksum",
          len(lines) == 4 and not wrong, "lines %s, wrong %s" % (lines, wrong))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--packages", default=os.path.join(ROOT, "build", "packages"))
    options = parser.parse_args()
    packages = os.path.abspath(options.packages)
    version = project_version()

    check_sums(packages)
    for system in ("windows-x86", "windows-x64"):
        path = check_zip(packages, system, version)
        if path:
            unpacked = fresh(os.path.join(ROOT, "build", system, "package-unpacked"))
            unpack_zip(path, unpacked)
            check_windows_binaries(os.path.join(unpacked, "velmora-%s-%s" % (version, system), "bin"),
                                   system, version)
            if system == "windows-x86":
                check_x86_zip_runs(path, version)
    check_consumer(packages, version)
    check_windows_consumer()
    check_deb(packages, version)

    if failures:
        print("%d package check(s) failed: %s" % (len(failures), ", ".join(failures)))
        return 1
    print("all package checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
