// The pieces of hwinspect below its command line: numbers, options, the
// dump-bin reader and writer, and JSON texts. The commands themselves are
// tested through the program (hwinspect_cli_test.py).
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "inspect/command_line.h"
#include "inspect/dump_bin.h"
#include "inspect/dump_file_strategy.h"
#include "inspect/hwinspect.h"
#include "inspect/json_writer.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/smbios/smbios_fixtures.h"

namespace {

using smbios_test::Bytes;

TEST(HwinspectNumbers, DecimalOrHexadecimalWithinTheirLimit) {
    struct Case {
        const char* text;
        std::uint64_t max;
        bool accepted;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"0", 0xFF, true, 0},
        {"255", 0xFF, true, 255},
        {"256", 0xFF, false, 0},
        {"0xff", 0xFF, true, 255},
        {"0XFF", 0xFF, true, 255},
        {"0x100", 0xFF, false, 0},
        {"0x", 0xFF, false, 0},
        {"", 0xFF, false, 0},
        {"12a", 0xFF, false, 0},
        {"-1", 0xFF, false, 0},
        {" 1", 0xFF, false, 0},
        {"0xffffffff", 0xFFFFFFFF, true, 0xFFFFFFFF},
        {"4294967296", 0xFFFFFFFF, false, 0},
        {"0x10000000000000000", ~0ull, false, 0},
        {"18446744073709551615", ~0ull, true, ~0ull},
        {"18446744073709551616", ~0ull, false, 0},  // one more would wrap
        {"9", 5, false, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t value = 0;
        EXPECT_EQ(hwinspect::parseNumber(c.text, c.max, value), c.accepted) << c.text;
        if (c.accepted) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(HwinspectOptions, AnywhereOnTheLineInBothSpellings) {
    const hwinspect::Options options = hwinspect::parseCommandLine(
        {"item", "--dump=t.bin", "0x10", "--offset", "0xF0000", "--json", "--strict", "--cmos-image", "c.img"});
    EXPECT_EQ(options.words, (std::vector<std::string>{"item", "0x10"}));
    EXPECT_EQ(options.source, hwinspect::TableSource::Dump);
    EXPECT_EQ(options.sourcePath, "t.bin");
    EXPECT_EQ(options.offset, 0xF0000u);
    EXPECT_TRUE(options.json && options.strict);
    EXPECT_EQ(options.cmosImage, "c.img");
}

TEST(HwinspectCommands, SynopsisAndHelpListEveryCommandOfTheTable) {
    // The synopsis as users know it, wrapped as before the table existed.
    EXPECT_EQ(hwinspect::synopsis(),
              "usage: hwinspect [--memory-image FILE | --dump FILE | --sysfs DIR] [--strict] [--offset ADDR]\n"
              "                 [--cmos-image FILE] [--smi-file FILE] [--json] [--dry-run] COMMAND [ARGUMENTS]\n"
              "commands: table, item HANDLE, string TYPE OFFSET, string KEYWORD, manufacturer, dump-bin FILE,\n"
              "          tokens, token ID, token ID activate, token ID deactivate, token ID set TEXT,\n"
              "          cmos verify, cmos dump [--all], cmos save FILE, cmos restore FILE, cmos repair\n");
    const std::string help = hwinspect::helpText();
    const std::vector<std::string> forms = hwinspect::commandForms();
    EXPECT_EQ(forms.size(), 16u);
    for (const std::string& form : forms) {
        EXPECT_NE(hwinspect::synopsis().find(" " + form), std::string::npos) << form;
        // Its own line in --help, the help text beside it.
        const std::size_t line = help.find("\n  " + form + " ");
        ASSERT_NE(line, std::string::npos) << form;
        EXPECT_NE(help[help.find_first_not_of(' ', line + 3 + form.size())], '\n') << form;
    }

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(hwinspect::run({"--help"}, out, err), hwinspect::kExitOk);
    EXPECT_EQ(out.str(), help);
    EXPECT_EQ(hwinspect::run({"tokens", "now"}, out, err), hwinspect::kExitUsage);
    EXPECT_EQ(err.str(), "hwinspect: wrong number of arguments for tokens\n" + hwinspect::synopsis() +
                             "\"hwinspect --help\" explains them.\n");
}

// The file bytes of a dump with the entry point `entry` and `table` at 0x20.
Bytes dumpFile(Bytes entry, const Bytes& table) {
    entry.resize(0x20, 0);
    entry.insert(entry.end(), table.begin(), table.end());
    return entry;
}

Bytes entryPoint3(std::uint32_t maximumSize, std::uint64_t address) {
    Bytes entry(0x18, 0);
    std::memcpy(entry.data(), "_SM3_", 5);
    entry[0x06] = 0x18;
    entry[0x07] = 3;
    entry[0x08] = 2;
    for (int i = 0; i < 4; ++i) entry[0x0C + i] = static_cast<std::uint8_t>(maximumSize >> (8 * i));
    for (int i = 0; i < 8; ++i) entry[0x10 + i] = static_cast<std::uint8_t>(address >> (8 * i));
    return entry;
}

TEST(HwinspectDumpReader, TakesTheTableTheEntryPointNamesWithinTheFile) {
    const Bytes table = smbios_test::join({smbios_test::systemInformation(1, {"Maker"}), smbios_test::endOfTable()});
    struct Case {
        const char* name;
        Bytes file;
        std::size_t tableSize;  // 0: refused
    };
    const std::uint16_t length = static_cast<std::uint16_t>(table.size());
    const Bytes entry = smbios_test::entryPoint(0x20, length, 2);
    const Case cases[] = {
        {"2.x", dumpFile(entry, table), table.size()},
        {"2.x announcing more than the file holds", dumpFile(smbios_test::entryPoint(0x20, 0x4000, 2), table),
         table.size()},
        {"2.x announcing less", dumpFile(smbios_test::entryPoint(0x20, 8, 2), table), 8},
        {"2.x table beyond the file", dumpFile(smbios_test::entryPoint(0x1000, length, 2), table), 0},
        {"3.x", dumpFile(entryPoint3(length, 0x20), table), table.size()},
        {"3.x address beyond 32 bits", dumpFile(entryPoint3(length, 0x100000020ull), table), 0},
        {"3.x empty table", dumpFile(entryPoint3(0, 0x20), table), 0},
        {"3.x larger than a 16-bit length", dumpFile(entryPoint3(0x30000, 0x20), Bytes(0x20000, 0)), 0xFFFF},
        {"no anchor", dumpFile(Bytes(0x20, 0x5A), table), 0},
        {"entry point cut short", Bytes(entry.begin(), entry.begin() + 0x1E), 0},
    };
    for (const Case& c : cases) {
        smbios::TableBuffer buffer;
        smbios::SmbiosEntryPoint record{};
        if (c.tableSize == 0) {
            EXPECT_THROW(hwinspect::readDumpBin(c.file, buffer, record), smbios::ParseException) << c.name;
            continue;
        }
        hwinspect::readDumpBin(c.file, buffer, record);
        EXPECT_EQ(buffer.size, c.tableSize) << c.name;
        EXPECT_EQ(record.tableLength, c.tableSize) << c.name;
        EXPECT_EQ(std::memcmp(buffer.data.get(), c.file.data() + 0x20, c.tableSize), 0) << c.name;
    }
}

TEST(HwinspectDumpWriter, MakesAnEntryPointForATableWithoutOne) {
    // The test strategy gives version 2.8 and no anchor, as the Windows interfaces do.
    const Bytes structures = smbios_test::join({smbios_test::structure(0, 0, Bytes(0x14, 0), {"Vendor"}),
                                                smbios_test::systemInformation(1, {"Maker"}),
                                                smbios_test::endOfTable()});
    const auto table = smbios_test::tableOf(structures);
    const Bytes file = hwinspect::makeDumpBin(*table);

    ASSERT_EQ(file.size(), 0x20 + structures.size());
    EXPECT_EQ(Bytes(file.begin() + 0x20, file.end()), structures);
    smbios::SmbiosEntryPoint entry{};
    std::memcpy(&entry, file.data(), sizeof entry);
    EXPECT_EQ(std::string(entry.anchor, 4), "_SM_");
    EXPECT_EQ(std::string(entry.intermediateAnchor, 5), "_DMI_");
    EXPECT_EQ(entry.length, 0x1F);
    EXPECT_EQ(entry.majorVersion, 2);
    EXPECT_EQ(entry.minorVersion, 8);
    EXPECT_EQ(entry.bcdRevision, 0x28);
    EXPECT_EQ(entry.tableAddress, 0x20u);
    EXPECT_EQ(entry.tableLength, structures.size());
    EXPECT_EQ(entry.structureCount, 3);
    unsigned sum = 0;
    unsigned intermediate = 0;
    for (int i = 0; i < 0x1F; ++i) sum += file[i];
    for (int i = 0x10; i < 0x1F; ++i) intermediate += file[i];
    EXPECT_EQ(sum & 0xFF, 0u);
    EXPECT_EQ(intermediate & 0xFF, 0u);

    // Read back, it is the same table.
    smbios::TableBuffer buffer;
    smbios::SmbiosEntryPoint record{};
    hwinspect::readDumpBin(file, buffer, record);
    EXPECT_EQ(Bytes(buffer.data.get(), buffer.data.get() + buffer.size), structures);
}

TEST(HwinspectJson, EscapesEveryByteThatIsNotPlainAscii) {
    EXPECT_EQ(hwinspect::jsonString(std::string("a\"b\\c\n\r\t\x01\x7f\x80\xff", 12)),
              "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u007f\\u0080\\u00ff\"");
    EXPECT_EQ(hwinspect::jsonString(std::string("\0x", 2)), "\"\\u0000x\"");

    std::ostringstream out;
    hwinspect::JsonWriter json(out);
    json.beginObject();
    json.key("n").number(-1);
    json.key("empty").beginArray().endArray();
    json.key("list").beginArray().value("x").boolean(true).beginObject().endObject().endArray();
    json.endObject();
    json.finish();
    EXPECT_EQ(out.str(), "{\n  \"n\": -1,\n  \"empty\": [],\n  \"list\": [\n    \"x\",\n    true,\n    {}\n  ]\n}\n");
}

}  // namespace
