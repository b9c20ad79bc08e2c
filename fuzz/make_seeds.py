#!/usr/bin/env python3
"""Seeds for the fuzz targets.

  make_seeds.py hand OUT      the hand-made seeds (kept in fuzz/corpus/)
  make_seeds.py dumps DIR OUT seeds made from dump-bin files (each target's
                              input form of every dump in DIR), for campaigns

Each seed lands in OUT/<target>/<name>. The input forms are the ones the
targets' opening comments describe.
"""
import os
import struct
import sys


def structure(kind, handle, formatted=b"", strings=()):
    body = bytes([kind, 4 + len(formatted)]) + struct.pack("<H", handle) + formatted
    text = b"".join(s.encode() + b"\0" for s in strings)
    return body + (text + b"\0" if text else b"\0\0")


def end_of_table():
    return structure(127, 0xFFFF)


def system_information(maker="Maker "):
    formatted = bytearray(0x1B - 4)
    formatted[0] = 1
    return structure(1, 1, bytes(formatted), [maker, "Model"])


def system_id_structure(system_id):
    # 0xD0: byte 6 the id, or 0xFE with the 16-bit id at offset 8.
    formatted = bytearray(8)
    if system_id <= 0xFF:
        formatted[2] = system_id
    else:
        formatted[2] = 0xFE
        formatted[4:6] = struct.pack("<H", system_id)
    return structure(0xD0, 0xD000, bytes(formatted))


def cmos_tokens(handle, checksum, entries, index=0x70, data=0x71, terminated=True):
    formatted = struct.pack("<HH", index, data) + bytes(checksum)
    for token, location, and_mask, or_mask in entries:
        formatted += struct.pack("<HBBB", token, location, and_mask, or_mask)
    if terminated:
        formatted += b"\xff\xff\0\0\0"
    return structure(0xD4, handle, formatted)


def calling_interface(entries, address=0xB2, code=0x8D):
    formatted = struct.pack("<HB", address, code) + b"\x0f\0\0\0"
    for token, location, value in entries:
        formatted += struct.pack("<HHH", token, location, value)
    formatted += b"\xff\xff\0\0\0\0"
    return structure(0xDA, 0xDA00, formatted)


def results(*values):
    return struct.pack("<4I", *(list(values) + [0, 0, 0, 0])[:4])


def dump_bin(table, version=(2, 8)):
    """A 2.x dump-bin file: the entry point, padding to 0x20, the table."""
    count = 0
    at = 0
    while at + 4 <= len(table):
        count += 1
        end = at + table[at + 1]
        while end + 1 < len(table) and table[end:end + 2] != b"\0\0":
            end += 1
        if table[at] == 127:
            break
        at = end + 2
    intermediate = bytearray(b"_DMI_\0" + struct.pack("<HIH", len(table), 0x20, count) + bytes([0x28]))
    intermediate[5] = (-sum(intermediate)) & 0xFF
    head = bytearray(b"_SM_\0\x1f" + bytes(version) + struct.pack("<H", 0x100) + b"\0" * 5) + intermediate
    head[4] = (-sum(head)) & 0xFF
    return bytes(head) + b"\0" * (0x20 - len(head)) + table


def dump_bin3(table):
    head = bytearray(b"_SM3_\0\x18\x03\x02\x00\x01\x00" + struct.pack("<IQ", len(table), 0x18))
    head[5] = (-sum(head)) & 0xFF
    return bytes(head) + table


def small_table():
    return (system_information() + system_id_structure(0x8C) +
            cmos_tokens(0xD400, (1, 0x10, 0x2F, 0x30), [(0x10, 0x12, 0xFE, 0x01), (0x11, 0x13, 0x00, 0x04)]) +
            calling_interface([(0x20, 0x31, 0x01), (0x21, 0x31, 0x00)]) + end_of_table())


# The token target's uses of a table, its input's first byte.
TOKEN_USES = {"print": 0, "read": 1, "write": 2, "verify": 3}


def token_seeds(put, name, rest, uses=TOKEN_USES):
    for use in uses:
        put("token_table", "%s-%s" % (name, use), bytes([TOKEN_USES[use]]) + rest)


def hand_made():
    seeds = {}
    put = lambda target, name, data: seeds.setdefault(target, {}).__setitem__(name, data)

    # Every system id the workaround table lists, in the 0xD0 structure's
    # 16-bit form, beside a CMOS token structure whose checksum type they fix.
    ids = [0xF001 + i for i in range(11)] + [0xF00C]
    for system_id in ids:
        table = (system_information() + system_id_structure(system_id) +
                 cmos_tokens(0xD402, (3, 0x40, 0x4F, 0x50), [(0x30, 0x41, 0xFE, 0x01)]) + end_of_table())
        token_seeds(put, "workaround-%04x" % system_id, b"\0" + table, ["write", "verify"])
        put("smbios_table", "workaround-%04x" % system_id, b"\0\0" + table)
    put("smbios_table", "system-id-narrow", b"\0\0" + small_table())

    # Calling-interface tokens, answered: success with values, each failure
    # code, and an answer cut short. The answers follow the cut-off table.
    ci = system_information() + calling_interface([(0x10, 0x31, 1), (0x11, 0x31, 0), (0x41, 0x142, 2)]) + \
        end_of_table()
    answers = {
        "ci-success": results(0, 0xABCD0001, 1) * 4,
        "ci-unhandled": results(0xFFFFFFFD),
        "ci-unsupported": results(0xFFFFFFFE),
        "ci-error-then-key": results(0xFFFFFFFF) + results(0, 0, 0) + results(0, 0x600D),
        "ci-password-mismatch": results(0xFFFFFFFF) + results(0) + results(2, 0x600D),
    }
    for name, answer in answers.items():
        token_seeds(put, name, bytes([0x80 + len(answer)]) + ci + answer, ["read", "write"])
    # Hostile checksum declarations for the verify mode: location inside its
    # own range, end before start, a word at the bank's end, overlapping
    # locations, an unknown type.
    hostile = (cmos_tokens(0xD401, (1, 0x20, 0x2F, 0x25), [(1, 0x20, 0xFE, 1)]) +
               cmos_tokens(0xD402, (2, 0x40, 0x30, 0x50), [(2, 0x40, 0xFE, 1)]) +
               cmos_tokens(0xD403, (2, 0xF0, 0xFE, 0xFF), [(3, 0xF0, 0xFE, 1)]) +
               cmos_tokens(0xD404, (1, 0x60, 0x6F, 0x70), [(4, 0x60, 0xFE, 1)]) +
               cmos_tokens(0xD405, (2, 0x80, 0x8F, 0x70), [(5, 0x80, 0xFE, 1)]) +
               cmos_tokens(0xD406, (9, 0x90, 0x9F, 0xA0), [(6, 0x90, 0xFE, 1)], index=0x72, data=0x73))
    token_seeds(put, "verify-hostile", b"\0" + system_information() + hostile + end_of_table(), ["write", "verify"])

    # The calling interface: each request, scripted and through the file.
    scripted = results(0, 0x00040A00) + b"\x11" + results(0, 0x600D) + b"\x22" + results(0, 0x1234) + b"\x33"
    for request in range(4):
        arguments = [bytes([9, 0, 0, 0]), b"pass", bytes([0x11, 0, 1, 2]), bytes([0x11, 8, 1, 4])][request]
        put("calling_interface", "scripted-%d" % request, bytes([request]) + arguments + scripted)
        put("calling_interface", "failing-%d" % request, bytes([request]) + arguments + results(0xFFFFFFFE) + b"\0")
        image = b"SMI1" + b"\0" * 12 + struct.pack("<HH", 9, 3) + b"\0" * 16 + results(0, 0x0a00) + b"\x55" * 8
        put("calling_interface", "file-%d" % request, bytes([request | 4]) + arguments + image)
    put("calling_interface", "file-short", bytes([4, 9, 0, 0, 0]) + b"SMI1\0\0")

    # The image readers: reads and writes inside, at the end and past it.
    ops = bytes([0, 0, 0x10, 0, 1, 0, 0x20, 0x5A, 2, 3, 0xFF, 0x01, 3, 16, 0, 0, 4, 7, 0x30, 0])
    cmos = bytes((i * 37) & 0xFF for i in range(512))
    put("image_files", "two-banks", bytes([4]) + ops + cmos)
    put("image_files", "empty-image", bytes([1]) + bytes([0, 1, 0x10, 0, 2, 63, 0xFF, 0xFF]))
    put("image_files", "past-the-end", bytes([2]) + bytes([1, 2, 0x40, 0x77, 3, 200, 0xFF, 55, 2, 40, 1, 0]) +
        b"\x01" * 100)

    # hwinspect over a small dump: every command, and the options.
    small = dump_bin(small_table())
    cmos_image = bytes(256) * 2
    for command in range(18):
        put("hwinspect_dump", "command-%02d" % command, bytes([command, command & 1, 0x10, 0, 32]) + small + cmos_image)
    put("hwinspect_dump", "dry-run-activate", bytes([8, 4, 0x10, 0, 32]) + small + cmos_image)
    put("hwinspect_dump", "cmos-dump-all", bytes([12, 8, 0, 0, 0]) + small)
    put("hwinspect_dump", "v3-table", bytes([0, 1, 0, 0, 0]) + dump_bin3(small_table()))
    put("hwinspect_dump", "address-past-end", bytes([0, 0, 0, 0, 0]) + small[:0x18] + b"\xff\xff\0\0" + small[0x1C:0x20])
    put("hwinspect_dump", "v3-huge-address", bytes([0, 0, 0, 0, 0]) + dump_bin3(small_table())[:0x10] +
        b"\xff" * 8 + small_table())

    for name, words in {
        "table-json": ["--dump", "x.bin", "--json", "table"],
        "token-set": ["--cmos-image=c.img", "token", "0x10", "set", "abc"],
        "offset": ["--memory-image", "m", "--offset", "0xF0000", "tokens"],
        "bad-offset": ["--offset=0x1FFFFFFFF", "table"],
        "two-sources": ["--dump", "a", "--sysfs", "b", "table"],
        "help": ["-h"],
        "missing-value": ["--smi-file"],
        "cmos-dry-run": ["--dry-run", "cmos", "repair", "--all"],
    }.items():
        put("hwinspect_command_line", name, b"\0".join(w.encode() for w in words))

    # The firmware-table interface's two calls: sizes as firmware gives them
    # and as it must not.
    raw = struct.pack("<BBBBI", 0, 2, 8, 0, len(small_table())) + small_table()
    put("smbios_platform_data", "fetch-exact", bytes([2, 0, 0]) + raw)
    put("smbios_platform_data", "fetch-grown", bytes([2, 0, 8]) + raw)
    put("smbios_platform_data", "fetch-zero", bytes([2, 0x81, 0]) + raw[:100])
    put("smbios_platform_data", "fetch-implausible", bytes([2, 0x7F, 0]) + raw)
    put("smbios_platform_data", "fetch-negative", bytes([2, 0x80, 0]) + raw)
    put("smbios_platform_data", "fetch-short", bytes([2, 0, 0xF0]) + raw[:12])

    # The collection flow, for each mode the status query can give.
    for selector, name in enumerate(["success", "no-new-data", "default-1", "default-2", "default-3", "debrand",
                                     "default-4", "default-5", "one", "negative"]):
        status = bytes([selector, 2, 0, selector])
        brand = bytes([0, 6]) + b"Brand\0"
        put("collector_oem_response", "flow-" + name, status + brand + bytes([0, 4]) + b"Def\0" + bytes([6]))
    # The collection flow with the real secure update: each mode, the update
    # answered, the session handle in its response, the volume found late,
    # missing exports, and the requesters without a folder.
    def answer(selector, payload=b""):
        return bytes([selector, len(payload)]) + payload
    status = lambda mode: answer(0, bytes([0, mode]))
    brands = answer(0, b"Brand\0") + answer(0, b"Default\0")
    update = answer(0, b"\0\0\x34\x12") + answer(0) + answer(0, b"\0")
    secupd = bytes([4 | 0x10, 6]) + b"SECUPD" + bytes([6]) + b"SECUPD"
    for name, requester, choices, volumes, answers in [
        ("complete", 1, 0, secupd, status(3) + brands + update),
        ("customization", 6, 0x80, secupd, status(3) + brands + update),
        ("string-rebrand", 2, 0x80, secupd, status(2) + brands),
        ("debrand", 3, 0, secupd, status(1) + answer(0, b"Default\0")),
        ("default", 4, 0, secupd, status(0)),
        ("mode-error", 5, 0x80, secupd, status(0x7F)),
        ("status-debrand-code", 7, 0, secupd, answer(5)),
        ("update-refused", 8, 0, secupd, status(3) + brands + answer(9)),
        ("no-new-data", 1, 0, secupd, status(3) + brands + answer(1) + answer(0) + answer(0, b"\x01")),
        ("volume-late", 1, 0, bytes([4 | 8, 6]) + b"SECUPD", status(3) + brands + update),
        ("no-volume", 2, 0, bytes([2 | 0x20, 0x85]) + b"OTHER", status(3) + brands + update),
        ("long-drive-list", 1, 0, bytes([0x10 | secupd[0]]) + secupd[1:], status(3) + brands + update),
        ("no-enumeration", 1, 0, bytes([1]), status(3) + brands + update),
        ("no-raw-command", 1, 0x20, secupd, status(3) + brands + update),
        ("no-end-update", 1, 0x10, secupd, status(3) + brands + update),
        ("no-exports", 1, 0x3F, secupd, b""),
        ("agent-fails", 1, 0x40, secupd, b""),
        ("no-folder", 9, 0, secupd, status(3) + brands + update),
    ]:
        put("collector_secure_update", name, bytes([requester, choices]) + volumes + answers)

    # The manufacturer: plain, with trailing blanks, only blanks, no
    # strings, a string number past the last string, a structure too short
    # for the field, and a second System Information structure.
    def manufacturer_seed(formatted, strings, rest=b""):
        whole = structure(1, 1, formatted, strings)
        return whole[1:] + rest
    field = bytes([1, 2, 3, 4]) + bytes(0x1B - 8)
    put("system_manufacturer", "plain", manufacturer_seed(field, ["Maker", "Model"], end_of_table()))
    put("system_manufacturer", "trailing-blanks", manufacturer_seed(field, ["Maker   ", "Model"], end_of_table()))
    put("system_manufacturer", "only-blanks", manufacturer_seed(field, ["   "], end_of_table()))
    put("system_manufacturer", "no-strings", manufacturer_seed(field, [], end_of_table()))
    put("system_manufacturer", "number-past-strings", manufacturer_seed(bytes([9]) + field[1:], ["Maker"]))
    put("system_manufacturer", "short", bytes([4, 1, 0]) + b"Maker\0\0")
    put("system_manufacturer", "second", manufacturer_seed(bytes([0]) + field[1:], ["Maker"],
                                                            system_information("Other ") + end_of_table()))
    put("system_manufacturer", "unterminated", manufacturer_seed(field, ["Maker"])[:-2])

    # The firmware-table interface's answers: size and count filled.
    raw = struct.pack("<BBBBI", 0, 2, 8, 0, len(small_table())) + small_table()
    for name, needed, filled in [
        ("exact", len(raw), len(raw)),
        ("room-to-spare", len(raw) + 64, len(raw)),
        ("filled-past-written", len(raw) + 64, len(raw) + 64),
        ("grown", len(raw), len(raw) + 1),
        ("zero", 0, len(raw)),
        ("negative", 0x80000000, len(raw)),
        ("implausible", 16 * 1024 * 1024 + 1, len(raw)),
        ("header-only", len(raw), 8),
        ("short", len(raw), 7),
        ("large", 0x10004, 0x10004),
    ]:
        put("raw_smbios_fetch", name, struct.pack("<II", needed, filled) + raw)
    return seeds


def entry_point_of(dump):
    if dump[:4] == b"_SM_":
        return dump[:0x1F], struct.unpack_from("<H", dump, 0x16)[0]
    return dump[:0x18], struct.unpack_from("<I", dump, 0x0C)[0]


def first_of_type(table, kind):
    """The offset of the first structure of the type, or None."""
    at = 0
    while at + 4 <= len(table):
        if table[at] == kind:
            return at
        end = at + max(table[at + 1], 4)
        while end + 1 < len(table) and table[end:end + 2] != b"\0\0":
            end += 1
        if table[at] == 127:
            break
        at = end + 2
    return None


def from_dumps(folder):
    seeds = {}
    put = lambda target, name, data: seeds.setdefault(target, {}).__setitem__(name, data)
    for file in sorted(os.listdir(folder)):
        if not file.endswith(".bin"):
            continue
        name = file[:3]
        dump = open(os.path.join(folder, file), "rb").read()
        anchor, length = entry_point_of(dump)
        table = dump[0x20 if dump[:4] == b"_SM_" else 0x18:][:length]
        put("smbios_table", name, b"\0\0" + table)
        token_seeds(put, name, b"\0" + table)
        put("hwinspect_dump", name, bytes([0, 1, 0, 0, 0]) + dump)
        put("hwinspect_dump", name + "-tokens", bytes([6, 0, 0, 0, 0]) + dump)
        raw = struct.pack("<BBBBI", 0, anchor[6 if anchor[:4] == b"_SM_" else 7], 0, 0, len(table)) + table
        put("smbios_platform_data", name + "-raw", b"\0" + raw)
        put("smbios_platform_data", name + "-sysfs", bytes([1, len(anchor)]) + anchor + table)
        put("smbios_platform_data", name + "-fetch", bytes([2, 0, 0]) + raw)
        put("raw_smbios_fetch", name, struct.pack("<II", len(raw), len(raw)) + raw)
        system = first_of_type(table, 1)
        if system is not None:
            put("system_manufacturer", name, table[system + 1:])
        if dump[:4] == b"_SM_":
            # The entry point at E0010h, its table right behind it.
            moved = bytearray(dump)
            struct.pack_into("<I", moved, 0x18, 0xE0010 + 0x20)
            moved[0x15] = 0
            moved[0x15] = (-sum(moved[0x10:0x1F])) & 0xFF
            moved[0x04] = 0
            moved[0x04] = (-sum(moved[0:0x1F])) & 0xFF
            put("smbios_entry_point", name, b"\0\0" + bytes(16) + bytes(moved))
    return seeds


def write(seeds, out):
    for target, files in seeds.items():
        os.makedirs(os.path.join(out, target), exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(out, target, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "hand":
        write(hand_made(), sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "dumps":
        write(from_dumps(sys.argv[2]), sys.argv[3])
    else:
        sys.exit(__doc__)
