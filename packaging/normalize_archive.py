#!/usr/bin/env python3
"""Rewrites a .zip or .tar.gz so that its bytes depend on its content only.

usage: normalize_archive.py EPOCH INPUT OUTPUT

cpack's archives carry each file's modification time, the builder's owner
and permission bits as the umask left them, in the order the file system
listed them. The rewritten archive holds the same paths and contents, in
sorted order, each folder listed before what it holds, with:
  - every time set to EPOCH (the commit's time; a zip cannot say anything
    before 1980, so there it is at least 1980-01-01);
  - owner and group 0 (root);
  - modes 0755 for folders and executable files, 0644 for the others;
  - no extra fields (zip) and no name or time in the gzip header.
"""
import gzip
import io
import os
import stat
import sys
import tarfile
import time
import zipfile


def normal_mode(is_dir, mode):
    return 0o755 if is_dir or mode & 0o111 else 0o644


def with_parents(entries):
    """entries: {path: (is_dir, mode, data)}; adds every missing parent folder."""
    for path in list(entries):
        parent = os.path.dirname(path.rstrip("/"))
        while parent and parent not in entries:
            entries[parent] = (True, 0o755, b"")
            parent = os.path.dirname(parent)
    return entries


def read_zip(path):
    entries = {}
    with zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            name = info.filename.rstrip("/")
            mode = info.external_attr >> 16
            entries[name] = (info.is_dir(), mode, b"" if info.is_dir() else archive.read(info))
    return entries


def read_tar(path):
    entries = {}
    with tarfile.open(path, "r:*") as archive:
        for member in archive.getmembers():
            name = member.name.rstrip("/")
            if name.startswith("./"):
                name = name[2:]
            if not name or name == ".":
                continue
            if member.isdir():
                entries[name] = (True, member.mode, b"")
            elif member.isfile():
                entries[name] = (False, member.mode, archive.extractfile(member).read())
            elif member.issym():
                entries[name] = (False, None, member.linkname)
            else:
                raise SystemExit("%s: %s is neither a file, a folder nor a link" % (path, member.name))
    return entries


def write_zip(entries, epoch, output):
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(output, "w") as archive:
        for name in sorted(entries):
            is_dir, mode, data = entries[name]
            if mode is None:
                raise SystemExit("a zip cannot hold the link %s" % name)
            info = zipfile.ZipInfo(name + "/" if is_dir else name, date_time=stamp)
            info.create_system = 3
            kind = stat.S_IFDIR if is_dir else stat.S_IFREG
            info.external_attr = (kind | normal_mode(is_dir, mode)) << 16
            if is_dir:
                info.external_attr |= 0x10
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, data, compresslevel=9)


def write_tar_gz(entries, epoch, output):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for name in sorted(entries):
            is_dir, mode, data = entries[name]
            info = tarfile.TarInfo(name)
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if mode is None:
                info.type = tarfile.SYMTYPE
                info.linkname = data
                info.mode = 0o777
                archive.addfile(info)
            elif is_dir:
                info.type = tarfile.DIRTYPE
                info.mode = 0o755
                archive.addfile(info)
            else:
                info.mode = normal_mode(False, mode)
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
    with open(output, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0, compresslevel=9) as packed:
            packed.write(buffer.getvalue())


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    epoch, source, output = int(argv[1]), argv[2], argv[3]
    if source.endswith(".zip"):
        write_zip(with_parents(read_zip(source)), epoch, output)
    elif source.endswith(".tar.gz"):
        write_tar_gz(with_parents(read_tar(source)), epoch, output)
    else:
        sys.stderr.write("normalize_archive.py: neither .zip nor .tar.gz: %s\n" % source)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
