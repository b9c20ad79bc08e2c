#!/usr/bin/env python3
"""hwinspect as its users run it: every command over the shared real-world
dumps, checked against the manifest, the reference decoder's stored output
and, where it is installed, dmidecode itself; crafted and malformed tables;
the command line; the live machine.

usage: hwinspect_cli_test.py --program PATH --work DIR [--shared DIR]
                             [--quick] [--live-wine] [--tests NAMES] [-- RUNNER ...]

--shared     the folder of the real-world dumps (data/smbios); tests that
             need it are skipped when it is absent.
--quick      two dumps (one 2.x, one 3.x) instead of all of them.
--live-wine  the program runs under Wine, whose firmware-table interface
             gives a synthetic table: the live source must yield it.
--tests      only these tests (comma-separated unittest names).
RUNNER       a command that runs the program (the Wine runner for a Windows
             build); the paths handed to the program are then Wine's Z:
             paths of the host's files.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import unittest

OPTIONS = None
KEYWORDS = [
    "bios-vendor", "bios-version", "bios-release-date", "system-manufacturer", "system-product-name",
    "system-version", "system-serial-number", "system-sku-number", "system-family", "baseboard-manufacturer",
    "baseboard-product-name", "baseboard-version", "baseboard-serial-number", "baseboard-asset-tag",
    "chassis-manufacturer", "chassis-version", "chassis-serial-number", "chassis-asset-tag",
    "processor-manufacturer", "processor-version",
]


def tool_path(path):
    """A host path as the program sees it."""
    path = os.path.abspath(path)
    return "Z:" + path.replace("/", "\\") if OPTIONS.runner else path


def hwinspect(*args):
    done = subprocess.run(OPTIONS.runner + [OPTIONS.program] + list(args), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120)
    # Windows programs end their text lines in CR LF.
    done.stdout = done.stdout.replace(b"\r\n", b"\n")
    done.stderr = done.stderr.replace(b"\r\n", b"\n")
    return done


def answer(testcase, *args):
    """Standard output of a run that must succeed."""
    done = hwinspect(*args)
    testcase.assertEqual(done.returncode, 0, (args, done.stderr))
    testcase.assertEqual(done.stderr, b"", args)
    return done.stdout


def assert_fails(testcase, done, status, args=()):
    """A refused run: the status, one "hwinspect: " reason, no answer."""
    testcase.assertEqual(done.returncode, status, (args, done.stdout, done.stderr))
    testcase.assertTrue(done.stderr.startswith(b"hwinspect: "), (args, done.stderr))
    testcase.assertEqual(done.stdout, b"", args)


def latin1(text):
    return text.encode("latin-1")


def read_manifest(folder):
    with open(os.path.join(folder, "MANIFEST.tsv"), encoding="utf-8") as handle:
        rows = [line.rstrip("\r\n").split("\t") for line in handle]
    header, dumps = rows[0], []
    for row in rows[1:]:
        entry = dict(zip(header, row))
        entry["structure_count"] = int(entry["structure_count"])
        entry["manufacturer"] = entry["dmidecode_system_manufacturer"][1:-1]
        entry["version3"] = "_SM3_" in entry["entry_point"]
        dumps.append(entry)
    if OPTIONS.quick:
        dumps = [next(d for d in dumps if not d["version3"]), next(d for d in dumps if d["version3"])]
    return dumps


def structure(kind, handle, formatted, strings=()):
    """One SMBIOS structure: header, formatted area after it, string set."""
    body = struct.pack("<BBH", kind, 4 + len(formatted), handle) + bytes(formatted)
    strings_part = b"".join(s + b"\0" for s in strings) if strings else b"\0"
    return body + strings_part + b"\0"


def dump_bin(table, count, version=(2, 7)):
    """The dump-bin layout with a valid 2.x entry point for `table`."""
    entry = bytearray(32)
    entry[0:4] = b"_SM_"
    entry[5], entry[6], entry[7] = 0x1F, version[0], version[1]
    entry[0x10:0x15] = b"_DMI_"
    struct.pack_into("<HIH", entry, 0x16, len(table), 0x20, count)
    entry[0x15] = (-sum(entry[0x10:0x1F])) & 0xFF
    entry[4] = (-sum(entry[0:0x1F])) & 0xFF
    return bytes(entry) + table


def checksum_ok(data):
    return sum(data) & 0xFF == 0


class Work:
    """A clean folder per test class for the files the tests write."""

    @staticmethod
    def folder(name):
        path = os.path.join(OPTIONS.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path


class RealWorldDumps(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = OPTIONS.shared
        if not cls.folder or not os.path.isdir(os.path.join(cls.folder, "dumps")):
            raise unittest.SkipTest("no real-world SMBIOS dumps beside this checkout")
        cls.dumps = read_manifest(cls.folder)
        cls.work = Work.folder("real-world")
        cls.dmidecode = shutil.which("dmidecode")

    def dump(self, entry):
        return os.path.join(self.folder, "dumps", entry["file"])

    def table_json(self, *source):
        return json.loads(answer(self, *source, "--json", "table"))

    def test_manufacturer_is_the_manifests_without_trailing_blanks(self):
        for entry in self.dumps:
            with self.subTest(entry["file"]):
                expected = entry["manufacturer"].rstrip(" ")
                source = ("--dump", tool_path(self.dump(entry)))
                for command in (("string", "1", "4"), ("string", "0x1", "0x04"), ("manufacturer",)):
                    if expected:
                        self.assertEqual(answer(self, *source, *command), latin1(expected + "\n"))
                    else:
                        assert_fails(self, hwinspect(*source, *command), 1, command)

    def test_keywords_print_what_dmidecode_prints(self):
        if not self.dmidecode:
            self.skipTest("dmidecode is not installed (scripts/bootstrap installs it)")
        for entry in self.dumps:
            for keyword in KEYWORDS:
                with self.subTest(entry["file"], keyword=keyword):
                    reference = subprocess.run([self.dmidecode, "--from-dump", self.dump(entry), "-s", keyword],
                                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
                    # This layer reads the first structure of the type, without trailing blanks.
                    first = reference.split(b"\n")[0].rstrip(b" ")
                    done = hwinspect("--dump", tool_path(self.dump(entry)), "string", keyword)
                    if first == b"Not Specified" and done.returncode != 0:
                        assert_fails(self, done, 1)  # string number 0
                        self.assertIn(b"String does not exist.", done.stderr)
                    elif first == b"":
                        assert_fails(self, done, 1)  # empty, blank or beyond the structure
                    else:
                        self.assertEqual(done.returncode, 0, done.stderr)
                        self.assertEqual(done.stdout, first + b"\n")

    def test_table_lists_the_structures_the_reference_decoder_lists(self):
        for entry in self.dumps:
            with self.subTest(entry["file"]):
                source = ("--dump", tool_path(self.dump(entry)))
                text = answer(self, *source, "table").decode("latin-1")
                self.assertIn("\tnum structs: ", text)
                listing = text.split("Structures and their strings:\n", 1)[1]
                handles = [line for line in listing.split("\n") if line.startswith("Handle ")]
                reference_file = os.path.join(self.folder, "dmidecode",
                                              entry["file"].replace(".bin", ".dmidecode.txt"))
                with open(reference_file, encoding="latin-1") as handle:
                    reference = [line.rstrip("\n") for line in handle if line.startswith("Handle ")]
                self.assertEqual(handles, reference)

                table = self.table_json(*source)
                self.assertEqual(len(table["structures"]), entry["structure_count"])
                self.assertEqual(["Handle 0x%04X, DMI type %d, %d bytes" % (s["handle"], s["type"], s["length"])
                                  for s in table["structures"]], reference)
                for item in table["structures"]:
                    self.assertEqual(len(bytes.fromhex(item["data"])), item["length"])
                if not entry["version3"]:
                    self.assertEqual(table["structureCount"], entry["structure_count"])

    def test_item_shows_the_bytes_and_strings_of_its_structure(self):
        for entry in self.dumps:
            source = ("--dump", tool_path(self.dump(entry)))
            structures = self.table_json(*source)["structures"]
            chosen = [structures[0], next(s for s in structures if s["type"] == 1), structures[-1]]
            for expected in chosen:
                handle = "0x%04X" % expected["handle"]
                with self.subTest(entry["file"], handle=handle):
                    self.assertEqual(json.loads(answer(self, *source, "item", handle, "--json")), expected)
                    text = answer(self, *source, "item", str(expected["handle"])).decode("latin-1")
                    self.assertTrue(text.startswith("Handle %s\n" % handle.lower()), text)
                    rows = text.split("\tHeader and Data:\n", 1)[1].split("\tStrings:\n")[0]
                    data = bytes.fromhex(rows.replace("\t", " ").replace("\n", " "))
                    self.assertEqual(data.hex(), expected["data"])
                    shown = [line.split(": ", 1)[1][1:-1] for line in text.split("\tStrings:\n")[1].splitlines()]
                    self.assertEqual(shown, expected["strings"])
                    if self.dmidecode:
                        decoded = subprocess.run([self.dmidecode, "--from-dump", self.dump(entry), "-u", "-H",
                                                  handle], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                        hex_rows = decoded.stdout.decode("latin-1").split("\tHeader and Data:\n", 1)[1]
                        hex_rows = hex_rows.split("\tStrings:\n")[0].split("\n\n")[0]
                        self.assertEqual(rows.rstrip("\n"), hex_rows.rstrip("\n"))

    def test_dump_bin_reads_back_as_the_same_table(self):
        for entry in self.dumps:
            with self.subTest(entry["file"]):
                written = os.path.join(self.work, entry["file"])
                said = answer(self, "--dump", tool_path(self.dump(entry)), "dump-bin", tool_path(written))
                self.assertIn(b"Wrote %d structures" % entry["structure_count"], said)
                with open(written, "rb") as handle:
                    data = handle.read()
                self.assertEqual(data[0:4], b"_SM_")
                self.assertTrue(checksum_ok(data[0:0x1F]) and checksum_ok(data[0x10:0x1F]))
                self.assertEqual(struct.unpack_from("<I", data, 0x18)[0], 0x20)
                self.assertEqual(self.table_json("--dump", tool_path(written))["structures"],
                                 self.table_json("--dump", tool_path(self.dump(entry)))["structures"])
                if self.dmidecode:
                    decoded = subprocess.run([self.dmidecode, "--from-dump", written], stdout=subprocess.PIPE,
                                             stderr=subprocess.PIPE)
                    self.assertEqual(decoded.returncode, 0, decoded.stderr)
                    self.assertIn(b"%d structures occupying" % entry["structure_count"], decoded.stdout)

    def test_memory_image_and_kernel_files_give_the_dumps_table(self):
        legacy = next(d for d in self.dumps if not d["version3"])
        with open(self.dump(legacy), "rb") as handle:
            data = handle.read()
        # The dump at address 0 (its table address is 0x20), its entry point
        # again at F0000h where the memory search looks.
        image = bytearray(b"\x5a" * 0x100000)
        image[0:len(data)] = data
        image[0xF0000:0xF0020] = data[0:0x20]
        image_file = os.path.join(self.work, "memory.img")
        with open(image_file, "wb") as handle:
            handle.write(image)
        expected = self.table_json("--dump", tool_path(self.dump(legacy)))["structures"]
        for options in ((), ("--offset", "0xF0000"), ("--strict",)):
            with self.subTest(options=options):
                self.assertEqual(self.table_json("--memory-image", tool_path(image_file), *options)["structures"],
                                 expected)
        assert_fails(self, hwinspect("--memory-image", tool_path(image_file), "--offset", "0xF0010", "table"), 1)

        modern = next(d for d in self.dumps if d["version3"])
        with open(self.dump(modern), "rb") as handle:
            data = handle.read()
        folder = Work.folder("sysfs")
        with open(os.path.join(folder, "smbios_entry_point"), "wb") as handle:
            handle.write(data[0:0x18])
        with open(os.path.join(folder, "DMI"), "wb") as handle:
            handle.write(data[0x20:])
        self.assertEqual(self.table_json("--sysfs", tool_path(folder))["structures"],
                         self.table_json("--dump", tool_path(self.dump(modern)))["structures"])


class CraftedTables(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Work.folder("crafted")

    def write(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as handle:
            handle.write(data)
        return tool_path(path)

    def test_strings_come_out_escaped_in_json_and_filtered_in_text(self):
        strings = [b'Acme "Quoted" \\ Co.  ', b"Tab\there", b"Caf\xe9", b"Bell\x07"]
        system = structure(1, 0x0100, bytes([1, 2, 3, 4]) + bytes(0x1B - 8), strings)
        table = structure(0, 0, bytes(0x14)) + system + structure(127, 0xFFFF, b"")
        source = ("--dump", self.write("strings.bin", dump_bin(table, 3)))

        item = json.loads(answer(self, *source, "--json", "item", "0x100"))
        self.assertEqual([latin1(s) for s in item["strings"]], strings)
        self.assertEqual(answer(self, *source, "manufacturer"), b'Acme "Quoted" \\ Co.\n')
        self.assertEqual(answer(self, *source, "string", "1", "5"), b"Tab.here\n")
        self.assertEqual(answer(self, *source, "string", "1", "6"), b"Caf\xe9\n")
        text = answer(self, *source, "table")
        self.assertIn(b"\tString 4: [Bell.]\n", text)
        self.assertIn(b"\tString 1: [Acme \"Quoted\" \\ Co.  ]\n", text)
        # No string set at all, and string number 0.
        self.assertEqual(json.loads(answer(self, *source, "--json", "item", "0"))["strings"], [])
        failed = hwinspect(*source, "string", "1", "8")
        assert_fails(self, failed, 1)
        self.assertIn(b"String does not exist.", failed.stderr)

    def test_malformed_sources_fail_with_a_reason(self):
        good = structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"]) + structure(127, 2, b"")
        modern = bytearray(dump_bin(good, 2)[0:0x20])
        modern[0:5] = b"_SM3_"
        struct.pack_into("<IQ", modern, 0x0C, 0, 0x20)  # a maximum size of 0
        cases = {
            "empty file": b"",
            "anchor only": b"_SM_",
            "no entry point": b"\x5a" * 64 + good,
            "table address beyond the file": dump_bin(good, 2)[0:0x20],
            "3.x entry point of an empty table": bytes(modern) + good,
        }
        for name, data in cases.items():
            with self.subTest(name):
                path = self.write("malformed.bin", data)
                for command in (("table",), ("manufacturer",), ("--json", "item", "1")):
                    done = hwinspect("--dump", path, *command)
                    assert_fails(self, done, 1, command)
        # The library's message, then the cause it nested, once.
        done = hwinspect("--dump", self.write("junk.bin", b"\x5a" * 64), "string", "1", "4")
        self.assertEqual(done.stderr, b"hwinspect: Could not instantiate SMBIOS table.\n"
                                      b"  cause: Not a dump-bin file: no SMBIOS entry point at its start.\n")
        for source in (("--dump", tool_path(os.path.join(self.work, "absent.bin"))),
                       ("--memory-image", tool_path(os.path.join(self.work, "absent.img"))),
                       ("--sysfs", tool_path(self.work))):
            with self.subTest(source=source):
                assert_fails(self, hwinspect(*source, "table"), 1)

    def test_every_string_failure_exits_1_with_its_reason(self):
        # Type 1: string 1 at offset 4, string 3 of 2 at offset 5, string 0 at
        # 6, a blank string at 7; the structure ends at 0x18.
        system = structure(1, 1, bytes([1, 3, 0, 2]) + bytes(0x14 - 4), [b"Maker", b"   "])
        source = ("--dump", self.write("strings-fail.bin", dump_bin(system + structure(127, 2, b""), 2)))
        cases = [
            (("string", "1", "5"), b"The string does not exist."),
            (("string", "1", "6"), b"String does not exist."),
            (("string", "1", "7"), b"The string is empty or all blanks."),
            (("string", "1", "0x20"), b""),
            (("string", "3", "4"), b"No structure of type 3 in the table."),
            (("string", "chassis-manufacturer"), b"No structure of type 3 in the table."),
            (("string", "0x7f", "4"), b""),
        ]
        for command, reason in cases:
            with self.subTest(command=command):
                done = hwinspect(*source, *command)
                assert_fails(self, done, 1, command)
                self.assertIn(reason, done.stderr)
                self.assertNotIn(b"Programmer error", done.stderr)
        self.assertEqual(answer(self, *source, "string", "1", "4"), b"Maker\n")

    def test_cut_and_unterminated_tables_are_read_to_their_end(self):
        table = structure(0, 0, bytes(0x14), [b"Vendor"]) + structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"])
        for name, data in (("cut inside a structure", dump_bin(table, 2)[:-8]),
                           ("strings without their end", dump_bin(table[:-2] + b"xyz", 2))):
            with self.subTest(name):
                path = self.write("cut.bin", data)
                listed = json.loads(answer(self, "--dump", path, "--json", "table"))["structures"]
                self.assertEqual([s["type"] for s in listed], [0, 1])
                written = os.path.join(self.work, "rewritten.bin")
                answer(self, "--dump", path, "dump-bin", tool_path(written))
                self.assertEqual(json.loads(answer(self, "--dump", tool_path(written), "--json", "table"))
                                 ["structures"], listed)


def cmos_token_structure(handle, ports, checksum, entries):
    """A 0xD4 structure: index and data port, checksum (type, start, end,
    location), 5-byte entries (id, location, AND mask, OR mask), the end
    entry inside the formatted area."""
    formatted = struct.pack("<HHBBBB", *ports, *checksum)
    for entry in entries + [(0xFFFF, 0, 0, 0)]:
        formatted += struct.pack("<HBBB", *entry)
    return structure(0xD4, handle, formatted)


def smi_token_structure(handle, entries):
    """A 0xDA structure: command I/O address and code, 6-byte entries (id,
    location, value), the end entry inside the formatted area."""
    formatted = struct.pack("<HB", 0xB2, 0xDA) + bytes(4)
    for entry in entries + [(0xFFFF, 0, 0)]:
        formatted += struct.pack("<HHH", *entry)
    return structure(0xDA, handle, formatted)


class TokenTables(unittest.TestCase):
    """A table with the token structures of the maker's servers over a CMOS
    image: bit and string tokens behind two port pairs, each pair with a
    checksum, and a calling-interface token."""

    @classmethod
    def setUpClass(cls):
        cls.work = Work.folder("tokens")
        table = (structure(0, 0, bytes(0x14), [b"Vendor"]) +
                 structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"]) +
                 cmos_token_structure(0x10, (0x70, 0x71), (0, 0x40, 0x4F, 0x50),
                                      [(0x0001, 0x40, 0xFE, 0x01), (0x0002, 0x40, 0xFD, 0x02),
                                       (0x0003, 0x41, 0x00, 4)]) +
                 cmos_token_structure(0x11, (0x72, 0x73), (1, 0x10, 0x1F, 0x20), [(0x0010, 0x10, 0xF0, 0x05)]) +
                 smi_token_structure(0x12, [(0x0100, 0x0005, 0x0001)]) +
                 structure(127, 0x13, b""))
        cls.dump = os.path.join(cls.work, "tokens.bin")
        with open(cls.dump, "wb") as handle:
            handle.write(dump_bin(table, 6))
        image = bytearray(0x10000)
        image[0x7040:0x7045] = b"\x01Abc\0"
        struct.pack_into(">H", image, 0x7050, sum(image[0x7040:0x7050]) & 0xFFFF)
        image[0x7210] = 0x3A & 0xF0 | 0x05
        image[0x7220] = sum(image[0x7210:0x7220]) & 0xFF
        cls.image = bytes(image)

    def cmos_image(self, changes=()):
        data = bytearray(self.image)
        for position, value in changes:
            data[position] = value
        path = os.path.join(self.work, "cmos.img")
        with open(path, "wb") as handle:
            handle.write(data)
        return path

    def write_dump(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as handle:
            handle.write(data)
        return path

    def run_tokens(self, *args, image=None):
        return hwinspect("--dump", tool_path(self.dump), "--cmos-image", tool_path(image or self.cmos_image()), *args)

    def test_tokens_print_every_token_with_its_cmos_value(self):
        text = answer(self, "--dump", tool_path(self.dump), "--cmos-image", tool_path(self.cmos_image()), "tokens")
        lines = text.decode("latin-1").splitlines()
        self.assertEqual(lines[0], "Token Table")
        self.assertEqual(len(lines), 6)
        self.assertIn("Type 0x0001", lines[1])
        self.assertTrue(lines[1].endswith("BITFIELD: 1"), lines[1])
        self.assertTrue(lines[2].endswith("BITFIELD: 0"), lines[2])
        self.assertTrue(lines[3].endswith("value(Abc)"), lines[3])
        self.assertTrue(lines[4].endswith("BITFIELD: 1"), lines[4])
        self.assertIn("CmdIO Port 0x00b2", lines[5])

        tokens = json.loads(answer(self, "--dump", tool_path(self.dump), "--cmos-image",
                                   tool_path(self.cmos_image()), "--json", "tokens"))["tokens"]
        self.assertEqual([t["id"] for t in tokens], [1, 2, 3, 0x10, 0x100])
        self.assertEqual([t.get("active") for t in tokens], [True, False, None, True, None])
        self.assertEqual((tokens[2]["string"], tokens[2]["stringBytes"]), ("Abc", "41626300"))
        self.assertEqual((tokens[0]["indexPort"], tokens[0]["dataPort"], tokens[0]["location"]), (0x70, 0x71, 0x40))
        self.assertEqual((tokens[4]["class"], tokens[4]["commandAddress"], tokens[4]["commandCode"]),
                         ("TokenDA", 0xB2, 0xDA))

    def test_one_token_by_its_id(self):
        bit = answer(self, "--dump", tool_path(self.dump), "--cmos-image", tool_path(self.cmos_image()),
                     "token", "0x0001")
        self.assertIn(b"\tactive: yes\n", bit)
        string = answer(self, "--dump", tool_path(self.dump), "--cmos-image", tool_path(self.cmos_image()),
                        "token", "3")
        self.assertIn(b"\tstring: [Abc]\n", string)
        self.assertIn(b"\tbytes: 41 62 63 00\n", string)
        absent = self.run_tokens("token", "0x4242")
        assert_fails(self, absent, 1)
        self.assertIn(b"0x4242", absent.stderr)

    def test_cmos_verify_reports_each_checksum_and_repairs_nothing(self):
        done = self.run_tokens("cmos", "verify")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.count(b": ok\n"), 2)

        image = self.cmos_image([(0x7045, 0x99)])  # a byte inside the first checksum's range
        done = self.run_tokens("cmos", "verify", image=image)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"MISMATCH", done.stdout)
        self.assertIn(b"Checksum check for CMOS value does not match.", done.stdout)
        self.assertEqual(done.stdout.count(b": ok\n"), 1)
        checks = json.loads(self.run_tokens("--json", "cmos", "verify", image=image).stdout)["checksums"]
        self.assertEqual([c["ok"] for c in checks], [False, True])
        self.assertEqual((checks[0]["indexPort"], checks[0]["start"], checks[0]["end"]), (0x70, 0x40, 0x4F))
        with open(image, "rb") as handle:
            data = handle.read()
        self.assertEqual(data[0x7050:0x7052], self.image[0x7050:0x7052])

    def test_cmos_verify_lists_every_declaration_in_table_order(self):
        # An empty 0xD4 declaration; a server's word checksum at 0xFF, which
        # cannot be kept in the bank; a mismatching byte checksum; an encoded
        # protected string.
        encoded = struct.pack("<HBBHHHBBB", 0x0500, 4, 0, 1, 0x70, 0x71, 1, 0x80, 0x84) + bytes([5, 0, 0, 0])
        table = (structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"]) +
                 cmos_token_structure(0x10, (0x70, 0x71), (0, 0, 0, 0), []) +
                 cmos_token_structure(0x11, (0x70, 0x71), (0, 0x3C, 0xFD, 0xFF), [(0x0001, 0x40, 0xFE, 0x01)]) +
                 cmos_token_structure(0x12, (0x72, 0x73), (1, 0x10, 0x1F, 0x20), [(0x0010, 0x10, 0xF0, 0x05)]) +
                 structure(0xD6, 0x13, encoded) + structure(127, 0x14, b""))
        dump = self.write_dump("declarations.bin", dump_bin(table, 5))
        image = self.cmos_image([(0x7220, 0x00)])
        done = hwinspect("--dump", tool_path(dump), "--cmos-image", tool_path(image), "cmos", "verify")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn(b"cannot be maintained", done.stderr)
        lines = done.stdout.decode("latin-1").split("\n")
        self.assertEqual(lines[0], "Index port 0x70, no checksum declared")
        self.assertEqual(lines[1], "Index port 0x70, bytes 0x3c-0xfd, Word Checksum at 0xff: cannot be maintained: "
                                   "a 2-byte checksum at 0xff does not fit in the 256-byte bank")
        self.assertEqual(lines[2], "Index port 0x72, bytes 0x10-0x1f, Byte Checksum at 0x20: MISMATCH")
        self.assertIn("Checksum check for CMOS value does not match.", lines)
        self.assertIn("Actual data value is: 0", lines)
        self.assertEqual(lines[-2], "Index port 0x70, no checksum declared")
        self.assertEqual(lines[-1], "")
        checks = json.loads(hwinspect("--dump", tool_path(dump), "--cmos-image", tool_path(image), "--json",
                                      "cmos", "verify").stdout)["checksums"]
        self.assertEqual([c["result"] for c in checks],
                         ["no checksum declared", "cannot be maintained", "MISMATCH", "no checksum declared"])
        self.assertEqual([c["ok"] for c in checks], [True, False, False, True])

        # Only the unmaintainable one left: still a failure.
        image = self.cmos_image()
        done = hwinspect("--dump", tool_path(dump), "--cmos-image", tool_path(image), "cmos", "verify")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertNotIn(b"MISMATCH", done.stdout)

    def test_cmos_dump_shows_the_page_of_each_index_port(self):
        text = answer(self, "--dump", tool_path(self.dump), "--cmos-image", tool_path(self.cmos_image()),
                      "cmos", "dump").decode("latin-1")
        pages = text.split("Index port ")[1:]
        self.assertEqual([page.split("\n")[0] for page in pages],
                         ["0x70, data port 0x71:", "0x72, data port 0x73:"])
        for page, base in zip(pages, (0x7000, 0x7200)):
            rows = page.splitlines()[1:]
            self.assertEqual(len(rows), 16)
            shown = " ".join(row.split(": ", 1)[1] for row in rows).split()
            expected = ["%02X" % byte for byte in self.image[base:base + 256]]
            if base == 0x7000:
                # The clock registers, and their selectors with bit 7 set.
                expected[0x00:0x0E] = expected[0x80:0x8E] = ["--"] * 14
            self.assertEqual(shown, expected)
        every = answer(self, "--dump", tool_path(self.dump), "--cmos-image", tool_path(self.cmos_image()),
                       "cmos", "dump", "--all").decode("latin-1")
        self.assertNotIn("--", every)

    def test_without_a_cmos_image_the_machines_cmos_is_asked(self):
        # Where the ports cannot be reached (a container, no root: the table
        # cannot take the accessor; Wine: every read is refused) the run fails
        # with a reason, never an empty one, and lists what it could.
        for command in (("tokens",), ("cmos", "verify"), ("cmos", "dump"), ("token", "1")):
            with self.subTest(command=command):
                done = hwinspect("--dump", tool_path(self.dump), *command)
                if done.returncode == 0:
                    continue  # a machine whose CMOS this process may read
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertRegex(done.stderr, rb"^hwinspect: \S")
                self.assertNotIn(b"()", done.stdout)
                self.assertNotRegex(done.stdout, rb"(unreadable|UNREADABLE|MISMATCH): *\n")

    def test_tables_without_token_structures(self):
        folder = OPTIONS.shared
        if not folder or not os.path.isdir(os.path.join(folder, "dumps")):
            self.skipTest("no real-world SMBIOS dumps beside this checkout")
        for entry in read_manifest(folder):
            with self.subTest(entry["file"]):
                source = ("--dump", tool_path(os.path.join(folder, "dumps", entry["file"])))
                self.assertEqual(answer(self, *source, "tokens"), b"Token Table\n")
                self.assertEqual(json.loads(answer(self, *source, "--json", "tokens")), {"tokens": []})
                self.assertIn(b"no CMOS checksum", answer(self, *source, "cmos", "verify"))
                self.assertIn(b"no CMOS ports", answer(self, *source, "cmos", "dump"))


class ChangingSettings(unittest.TestCase):
    """The write commands over a CMOS image: the fixture of TokenTables, and
    a second table whose checksum lies in a clock register."""

    @classmethod
    def setUpClass(cls):
        TokenTables.setUpClass.__func__(cls)
        cls.tokens_dump, cls.original = cls.dump, cls.image
        table = (structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"]) +
                 cmos_token_structure(0x10, (0x70, 0x71), (1, 0x40, 0x4F, 0x0C), [(0x0001, 0x40, 0xFE, 0x01)]) +
                 structure(127, 0x13, b""))
        cls.clock_dump = os.path.join(cls.work, "clock.bin")
        with open(cls.clock_dump, "wb") as handle:
            handle.write(dump_bin(table, 3))
        # A byte checksum stored inside its own range cannot be kept valid;
        # the second structure's checksum can.
        table = (structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"]) +
                 cmos_token_structure(0x10, (0x70, 0x71), (1, 0x40, 0x4F, 0x48), [(0x0001, 0x40, 0xFE, 0x01)]) +
                 cmos_token_structure(0x11, (0x70, 0x71), (1, 0x60, 0x67, 0x68), [(0x0002, 0x60, 0xFE, 0x01)]) +
                 structure(127, 0x13, b""))
        cls.unkeepable_dump = os.path.join(cls.work, "unkeepable.bin")
        with open(cls.unkeepable_dump, "wb") as handle:
            handle.write(dump_bin(table, 4))

    def setUp(self):
        self.image = os.path.join(self.work, "change-%s.img" % self._testMethodName)
        with open(self.image, "wb") as handle:
            handle.write(self.original)

    def run_on(self, *args, dump=None, image=None):
        return hwinspect("--dump", tool_path(dump or self.tokens_dump), "--cmos-image", tool_path(image or self.image),
                         *args)

    def contents(self, path=None):
        with open(path or self.image, "rb") as handle:
            return handle.read()

    def assert_checksums_ok(self, image=None):
        done = self.run_on("cmos", "verify", image=image)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    # (command, the bytes it changes as {image position: new value}, apart
    # from the checksum bytes)
    CHANGES = [
        (("token", "2", "activate"), {0x7040: 0x03}),
        (("token", "1", "deactivate"), {0x7040: 0x00}),
        (("token", "3", "set", "xy"), {0x7041: ord("x"), 0x7042: ord("y"), 0x7043: 0}),
        (("token", "0x10", "activate"), {}),
    ]

    def test_each_change_keeps_the_checksums_and_lists_its_bytes(self):
        for command, expected in self.CHANGES:
            with self.subTest(command=command):
                self.setUp()
                dry = self.run_on("--dry-run", *command)
                self.assertEqual(dry.returncode, 0, dry.stderr)
                self.assertEqual(self.contents(), self.original, "a dry run wrote")
                done = self.run_on(*command)
                self.assertEqual(done.returncode, 0, done.stderr)
                after = self.contents()
                changed = {i: after[i] for i in range(len(after)) if after[i] != self.original[i]}
                checksum_bytes = {0x7050, 0x7051, 0x7220}
                self.assertEqual({i: v for i, v in changed.items() if i not in checksum_bytes}, expected)
                self.assert_checksums_ok()
                listed = ["index port 0x%02x, data port 0x%02x, offset 0x%02x: 0x%02x -> 0x%02x" %
                          (i >> 8, (i >> 8) + 1, i & 0xFF, self.original[i], v) for i, v in changed.items()]
                lines = done.stdout.decode().splitlines()
                self.assertEqual(sorted(lines), sorted("changed: " + line for line in listed) or lines)
                if not changed:
                    self.assertEqual(lines, ["No CMOS byte changed."])
                    self.assertEqual(dry.stdout, b"Dry run: no CMOS byte would change.\n")
                else:
                    self.assertEqual(dry.stdout.decode().replace("would change: ", "changed: "), done.stdout.decode())

    def test_refused_changes_write_nothing(self):
        cases = [
            (("token", "0x10", "deactivate"), b"several bits"),
            (("token", "3", "activate"), b"is a string token"),
            (("token", "3", "deactivate"), b"is a string token"),
            (("token", "1", "set", "x"), b"is a bit token"),
            (("token", "3", "set", "toolong"), b"holds 4 byte(s); the text has 7"),
            (("--dry-run", "token", "0x100", "activate"), b"a dry run cannot show"),
            (("token", "0x100", "deactivate"), b"no deactivation"),
            (("token", "0x4242", "activate"), b"No token with id 0x4242"),
        ]
        for command, reason in cases:
            with self.subTest(command=command):
                done = self.run_on(*command)
                assert_fails(self, done, 1, command)
                self.assertIn(reason, done.stderr)
                self.assertEqual(self.contents(), self.original)

    def test_a_failure_part_way_puts_back_what_was_written(self):
        # The token's byte is written, then its checksum's location turns out
        # to be a clock register: the token's byte goes back.
        image = os.path.join(self.work, "clock.img")
        with open(image, "wb") as handle:
            handle.write(bytes(0x7100))
        done = self.run_on("token", "1", "activate", dump=self.clock_dump, image=image)
        assert_fails(self, done, 1)
        self.assertIn(b"is a clock register", done.stderr)
        self.assertIn(b"were put back: CMOS is as it was.", done.stderr)
        self.assertEqual(self.contents(image), bytes(0x7100))

    def test_writes_a_checksum_cannot_survive_are_refused_before_any_byte(self):
        run = lambda *args: self.run_on(*args, dump=self.unkeepable_dump)
        for command in (("token", "1", "activate"), ("--dry-run", "token", "1", "activate")):
            with self.subTest(command=command):
                done = run(*command)
                assert_fails(self, done, 1, command)
                self.assertIn(b"Refused to write CMOS byte 0x40", done.stderr)
                self.assertIn(b"stored inside its own range", done.stderr)
                self.assertEqual(self.contents(), self.original)
        saved = os.path.join(self.work, "unkeepable.img")
        self.assertEqual(run("cmos", "save", tool_path(saved)).returncode, 0)
        stale = bytearray(self.original)
        stale[0x7041] ^= 1  # inside the refused range
        stale[0x7061] ^= 1  # inside the other one
        with open(self.image, "wb") as handle:
            handle.write(stale)
        done = run("cmos", "restore", tool_path(saved))
        assert_fails(self, done, 1)
        self.assertIn(b"Refused to write CMOS byte 0x41", done.stderr)
        self.assertEqual(self.contents(), bytes(stale), "a refused restore wrote")
        # Repair writes the checksum it can keep and names the one it cannot.
        done = run("cmos", "repair")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn(b"changed: index port 0x70, data port 0x71, offset 0x68: ", done.stdout)
        self.assertIn(b"not written: index port 0x70, bytes 0x40-0x4f at 0x48: cannot be maintained", done.stdout)
        after = self.contents()
        self.assertEqual([i for i in range(len(after)) if after[i] != stale[i]], [0x7068])
        # Writes elsewhere go on.
        self.assertEqual(run("token", "2", "activate").returncode, 0)

    def test_save_and_restore(self):
        saved = os.path.join(self.work, "saved.img")
        done = self.run_on("cmos", "save", tool_path(saved))
        self.assertEqual(done.returncode, 0, done.stderr)
        data = self.contents(saved)
        used = set(range(0x7040, 0x7052)) | set(range(0x7210, 0x7221))
        self.assertEqual(len(data), 0x7300)
        self.assertEqual(done.stdout, b"Saved %d CMOS byte(s) to %s.\n" % (len(used), tool_path(saved).encode()))
        for position in range(len(data)):
            self.assertEqual(data[position], self.original[position] if position in used else 0xFF, hex(position))
        # The saved file serves as --cmos-image.
        self.assertEqual(answer(self, "--dump", tool_path(self.tokens_dump), "--cmos-image", tool_path(saved), "tokens"),
                         answer(self, "--dump", tool_path(self.tokens_dump), "--cmos-image", tool_path(self.image),
                                "tokens"))

        for command in (("token", "2", "activate"), ("token", "3", "set", "q"), ("token", "0x10", "activate")):
            self.assertEqual(self.run_on(*command).returncode, 0)
        self.assertNotEqual(self.contents(), self.original)
        dry = self.run_on("--dry-run", "cmos", "restore", tool_path(saved))
        self.assertEqual(dry.returncode, 0, dry.stderr)
        self.assertIn(b"would change: index port 0x70, data port 0x71, offset 0x40: 0x03 -> 0x01", dry.stdout)
        done = self.run_on("cmos", "restore", tool_path(saved))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"Every saved byte reads back as saved.", done.stdout)
        self.assertEqual(self.contents(), self.original)

        # A file that lacks bytes of this table is refused before any write.
        short = os.path.join(self.work, "short.img")
        with open(short, "wb") as handle:
            handle.write(data[:0x7100])
        self.run_on("token", "2", "activate")
        before = self.contents()
        done = self.run_on("cmos", "restore", tool_path(short))
        assert_fails(self, done, 1)
        self.assertIn(b"not saved from this table", done.stderr)
        self.assertEqual(self.contents(), before)

        # Saved bytes whose checksum does not match: the checksum is kept.
        stale = bytearray(data)
        stale[0x7041] ^= 0x20
        with open(short, "wb") as handle:
            handle.write(stale)
        done = self.run_on("cmos", "restore", tool_path(short))
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"differs from", done.stdout)
        self.assertIn(b"checksum the saved bytes did not match was repaired", done.stderr)
        self.assert_checksums_ok()

    def test_repair_writes_only_stale_checksums(self):
        done = self.run_on("cmos", "repair")
        self.assertEqual((done.returncode, done.stdout), (0, b"No CMOS byte changed.\n"))
        stale = bytearray(self.original)
        stale[0x7045] = 0x99
        stale[0x7220] ^= 0xFF
        with open(self.image, "wb") as handle:
            handle.write(stale)
        dry = self.run_on("--dry-run", "cmos", "repair")
        self.assertEqual(dry.returncode, 0, dry.stderr)
        self.assertEqual(self.contents(), bytes(stale))
        done = self.run_on("cmos", "repair")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(dry.stdout.replace(b"would change: ", b"changed: "), done.stdout)
        self.assertIn(b"changed: index port 0x72, data port 0x73, offset 0x20: ", done.stdout)
        self.assert_checksums_ok()
        after = self.contents()
        # Only the two checksums' locations (0x99 shifts the word's low byte).
        self.assertEqual([i for i in range(len(after)) if after[i] != stale[i]], [0x7051, 0x7220])


class CommandLine(unittest.TestCase):
    def test_usage_errors_exit_2_with_the_usage_text(self):
        cases = [
            (), ("frobnicate",), ("item",), ("item", "1", "2"), ("item", "0xZZ"), ("item", "65536"),
            ("string",), ("string", "no-such-keyword"), ("string", "256", "4"), ("string", "1", "-4"),
            ("--json", "manufacturer"), ("--json", "string", "1", "4"), ("dump-bin",), ("--bogus", "table"),
            ("--offset", "table"), ("--offset", "0x100000000", "table"), ("--offset",), ("--strict=1", "table"),
            ("--dump", "a.bin", "--sysfs", "dir", "table"), ("--dump=", "table"), ("token",), ("token", "0x10000"),
            ("cmos",), ("cmos", "fix"), ("cmos", "dump", "extra"), ("--json", "cmos", "dump"),
            ("--json", "token", "1"), ("--cmos-image",), ("cmos", "save"), ("cmos", "restore"),
            ("cmos", "repair", "now"), ("token", "1", "set"), ("token", "1", "flip"), ("token", "1", "activate", "x"),
            ("token", "1", "set", "a", "b"), ("--dry-run", "token", "1"), ("--dry-run", "table"),
            ("--dry-run", "cmos", "save", "f"), ("--dry-run", "cmos", "verify"), ("--all", "cmos", "verify"),
            ("--dry-run=1", "cmos", "repair"), ("--json", "cmos", "repair"),
        ]
        for args in cases:
            with self.subTest(args=args):
                done = hwinspect(*args)
                assert_fails(self, done, 2, args)
                self.assertIn(b"usage: hwinspect", done.stderr)

    def test_help_and_version(self):
        text = answer(self, "--help")
        for needed in (b"trailing blanks", b"Not Specified", b"first structure", b"dump-bin FILE",
                       b"--memory-image FILE", b"system-manufacturer", b"processor-version",
                       b"token ID activate", b"token ID deactivate", b"token ID set TEXT", b"cmos save FILE",
                       b"cmos restore FILE", b"cmos repair", b"--dry-run", b"cmos dump --all", b"/dev/port",
                       b"a string number past the", b"no structure of the type", b"a 2.x one"):
            self.assertIn(needed, text)
        self.assertEqual(answer(self, "table", "-h"), text)
        self.assertRegex(answer(self, "--version"), rb"^hwinspect \d+\.\d+\.\d+\n$")

    def test_output_that_cannot_be_written_is_a_failure_with_its_reason(self):
        if OPTIONS.runner or not os.path.exists("/dev/full"):
            self.skipTest("needs a native run and /dev/full")
        with open("/dev/full", "wb") as full:
            done = subprocess.run([OPTIONS.program, "--help"], stdout=full, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"hwinspect: could not write to standard output", done.stderr)

    def test_a_handle_not_in_the_table_is_an_error(self):
        table = structure(1, 1, bytes([1]) + bytes(0x17), [b"Maker"]) + structure(127, 2, b"")
        path = os.path.join(Work.folder("handles"), "t.bin")
        with open(path, "wb") as handle:
            handle.write(dump_bin(table, 2))
        done = hwinspect("--dump", tool_path(path), "item", "0x0042")
        assert_fails(self, done, 1)
        self.assertIn(b"0x0042", done.stderr)


class LiveMachine(unittest.TestCase):
    def test_table_and_manufacturer_of_the_machine(self):
        table = hwinspect("table")
        manufacturer = hwinspect("manufacturer")
        if not OPTIONS.live_wine:
            # This host may not publish its table (containers do not).
            if table.returncode != 0:
                assert_fails(self, table, 1)
                self.assertIn(b"Could not instantiate SMBIOS table.", table.stderr)
            return
        # Wine's firmware-table interface: a synthetic 2.4 table of a few
        # types, whose strings come from the host's /sys/class/dmi/id.
        self.assertEqual(table.returncode, 0, table.stderr)
        self.assertIn(b"\tnum structs: 9999\n", table.stdout)
        for kind in (0, 1, 2, 3, 127):
            self.assertIn(b", DMI type %d, " % kind, table.stdout)
        try:
            with open("/sys/class/dmi/id/sys_vendor", "rb") as handle:
                vendor = handle.read().rstrip(b"\n").rstrip(b" ")
        except OSError:
            vendor = b""
        if vendor:
            self.assertEqual(manufacturer.stdout, vendor + b"\n")
        else:
            assert_fails(self, manufacturer, 1)
            self.assertIn(b"No manufacturer name", manufacturer.stderr)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--shared", default="")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--live-wine", action="store_true")
    parser.add_argument("--tests", default="", help="comma-separated test names (default: all)")
    parser.add_argument("runner", nargs="*")
    OPTIONS = parser.parse_args()
    os.makedirs(OPTIONS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"] + [name for name in OPTIONS.tests.split(",") if name])


if __name__ == "__main__":
    main()
