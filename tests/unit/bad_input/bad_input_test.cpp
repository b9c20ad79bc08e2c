// Hostile input, class by class: every malformed shape of firmware table,
// entry point, operating-system block, image file and message template we
// know, each with the clear error or the result it must give. Every case
// also walks what it got in full, so the sanitizer builds see any read
// outside a buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "memory/memory_file.h"
#include "smbios/memory_exceptions.h"
#include "smbios/message_expansion.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"
#include "smbios/smbios_table.h"
#include "tests/unit/smbios/smbios_fixtures.h"

namespace {

using smbios_test::Bytes;
using smbios_test::tableOf;

// "type:handle" of every structure visited, every byte and string of each read.
std::string walk(const smbios::ISmbiosTable& table) {
    std::string visited;
    for (auto it = table.begin(); it != table.end(); ++it) {
        std::uint8_t bytes[256];
        it->readData(0, bytes, it->length());
        for (unsigned number = 1;; ++number) {
            try {
                std::strlen(it->stringAt(static_cast<std::uint8_t>(number)));
            } catch (const smbios::StringUnavailable&) {
                break;
            }
        }
        visited += (visited.empty() ? "" : " ") + std::to_string(it->type()) + ":" + std::to_string(it->handle());
    }
    return visited;
}

// What a call gives: "ok", or the error's type family and message.
std::string outcomeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const smbios::InternalError& error) {
        return std::string("InternalError: ") + error.what();
    } catch (const smbios::StringUnavailable& error) {
        return std::string("StringUnavailable: ") + error.what();
    } catch (const smbios::DataOutOfBounds& error) {
        return std::string("DataOutOfBounds: ") + error.what();
    } catch (const smbios::ParseException& error) {
        return std::string("ParseException: ") + error.what();
    } catch (const memory::AccessError& error) {
        return std::string("AccessError: ") + error.what();
    } catch (const memory::OutOfBounds& error) {
        return std::string("OutOfBounds: ") + error.what();
    }
    return "ok";
}

struct TableCase {
    const char* name;
    Bytes bytes;
    int declaredLength;  // -1: as many as the bytes
    const char* visited;
    // String 1 of the first structure: its text, or the error.
    const char* firstString;
};

TEST(BadInput, MalformedStructureTables) {
    // The rows stay laid out as a table: the formatter would give each field a line of its own.
    // clang-format off
    const TableCase cases[] = {
        {"empty table", {}, -1, "", "ParameterException"},
        {"shorter than a header", {0x01, 0x04, 0x00}, -1, "", "ParameterException"},
        {"declared longer than delivered",
         {0x01, 0x04, 0x01, 0x00, 'Q', 0, 0,  // type 1, handle 1, "Q"
          0x7F, 0x04, 0x02, 0x00, 0, 0},      // end of table
         5000, "1:1 127:2", "Q"},
        {"declared shorter than delivered: the second structure is cut off",
         {0x01, 0x04, 0x01, 0x00, 'Q', 0, 0,  // type 1
          0x02, 0x04, 0x02, 0x00, 0, 0},      // type 2, beyond the declared length
         9, "1:1", "Q"},
        {"no end-of-table structure: the walk stops at the table's end",
         {0x01, 0x04, 0x01, 0x00, 0, 0,  // type 1, no strings
          0x02, 0x04, 0x02, 0x00, 0, 0},  // type 2, no strings
         -1, "1:1 2:2", ""},
        {"length byte 0: the closing pair is sought from the header on",
         {0x05, 0x00, 0x01, 0x00, 0x00,  // type 5, length 0, handle 1; its pair: handle high byte and this
          0x7F, 0x04, 0x02, 0x00, 0, 0},  // end of table
         -1, "5:1 127:2", "\x05"},
        {"length byte beyond the table: cut, completed with zeros",
         {0x09, 0x40, 0x01, 0x00, 0x07, 0x08},  // type 9 claims 64 bytes
         -1, "9:1", ""},
        {"string set never closed",
         {0x03, 0x05, 0x01, 0x00, 0x01, 'a', 'b', 'c'},  // type 3, string "abc" runs to the end
         -1, "3:1", "abc"},
        {"string set closed by the table's last two bytes",
         {0x03, 0x04, 0x01, 0x00, 'x', 0, 0}, -1, "3:1", "x"},
        {"end-of-table structure carrying a string",
         {0x7F, 0x04, 0x01, 0x00, 'e', 'n', 'd', 0, 0, 0x01, 0x04, 0x02, 0x00, 0, 0}, -1, "127:1", "end"},
        {"all 0xFF: one structure that never closes", Bytes(64, 0xFF), -1, "255:65535", ""},
    };
    // clang-format on
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto table = tableOf(c.bytes, c.declaredLength);
        EXPECT_EQ(walk(*table), c.visited);
        std::string first;
        try {
            first = table->begin()->stringAt(1);
        } catch (const smbios::ParameterException&) {
            first = "ParameterException";
        } catch (const smbios::ParseException&) {
            first = "ParseException";
        }
        EXPECT_EQ(first, c.firstString);
    }
}

TEST(BadInput, OutOfRangeFieldAndStringNumbers) {
    auto table = tableOf({0x01, 0x06, 0x01, 0x00, 0x01, 0x05, 'Q', 0, 0});  // type 1, string fields 1 and 5
    const smbios::ISmbiosItem& item = *table->begin();
    std::uint8_t out[8] = {};
    const std::string outside = "DataOutOfBounds: Attempt to access data outside the length of header. offset : ";
    const struct {
        const char* name;
        std::function<void()> action;
        std::string outcome;
    } cases[] = {
        {"last formatted byte", [&] { item.readData(5, out, 1); }, "ok"},
        {"first string byte", [&] { item.readData(6, out, 1); }, outside + "6, header_length : 9"},
        {"size wrapping around", [&] { item.readData(1, out, ~std::size_t{0}); }, outside + "1, header_length : 9"},
        {"string number 0", [&] { item.stringAt(0); }, "StringUnavailable: String does not exist."},
        {"string number past the strings", [&] { item.stringAt(5); },
         "StringUnavailable: The string does not exist. Bad index caused this error"},
        {"string number 255", [&] { item.stringAt(255); },
         "StringUnavailable: The string does not exist. Bad index caused this error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcomeOf(c.action), c.outcome);
    }
}

// An entry point valid in every check, then spoilt by `spoil`.
Bytes entryPointWith(const std::function<void(Bytes&)>& spoil, std::uint32_t tableAddress = 0x20000) {
    Bytes ep = smbios_test::entryPoint(tableAddress, 13, 2);
    spoil(ep);
    return ep;
}

TEST(BadInput, EntryPointsInMemoryImages) {
    const Bytes table = {0x01, 0x04, 0x01, 0x00, 'Q', 0, 0, 0x7F, 0x04, 0x02, 0x00, 0, 0};
    const auto none = [](Bytes&) {};
    const struct {
        const char* name;
        std::uint32_t at;
        Bytes ep;
        int strict;
        const char* visited;  // null: no table
    } cases[] = {
        {"valid", 0xF0000, entryPointWith(none), 1, "1:1 127:2"},
        {"anchor off the 16-byte grid", 0xF0008, entryPointWith(none), 0, nullptr},
        {"anchor above the last candidate", 0xFFFE0, entryPointWith(none), 0, nullptr},
        {"wrong checksum, strict", 0xF0000, entryPointWith([](Bytes& ep) { ep[4] ^= 1; }), 1, nullptr},
        {"wrong checksum, lax", 0xF0000, entryPointWith([](Bytes& ep) { ep[4] ^= 1; }), 0, "1:1 127:2"},
        {"length byte 0, lax", 0xF0000, entryPointWith([](Bytes& ep) { ep[5] = 0; }), 0, "1:1 127:2"},
        {"table beyond the memory", 0xF0000, entryPointWith(none, 0xFFFFFFF0), 0, nullptr},
        {"table across the end of the memory", 0xF0000, entryPointWith(none, 0xFFFFA), 0, nullptr},
        {"table length 0", 0xF0000, entryPointWith([](Bytes& ep) { ep[0x16] = ep[0x17] = 0; }), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        smbios_test::SmbiosImage image;
        image.place(0x20000, table).place(c.at, c.ep);
        smbios_test::ImageFactories factories(image.write(), c.strict);
        std::string visited = "<none>";
        const std::string outcome = outcomeOf(
            [&] { visited = walk(*smbios::SmbiosFactory::getFactory()->getSingleton()); });
        if (c.visited == nullptr) {
            EXPECT_EQ(outcome, "InternalError: Could not instantiate SMBIOS table.");
        } else {
            EXPECT_EQ(outcome, "ok");
            EXPECT_EQ(visited, c.visited);
        }
    }
}

TEST(BadInput, RawFirmwareTableBlocks) {
    const struct {
        const char* name;
        Bytes block;
        const char* outcome;
        const char* visited;
    } cases[] = {
        {"shorter than its header",
         {0, 2, 8, 0, 0, 0, 0},
         "ParseException: GetSystemFirmwareTable returned 0 for table length.",
         ""},
        // The eight zero bytes behind the table read as empty type-0 headers.
        {"header only", {0, 2, 8, 0, 0, 0, 0, 0}, "ok", "0:0 0:0 0:0"},
        {"data length field larger than the block",
         {0, 2, 8, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x04, 0x01, 0x00, 0, 0, 0x7F, 0x04, 0x02, 0x00, 0, 0},
         "ok",
         "1:1 127:2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes block = c.block;
        smbios::SmbiosEntryPoint entryPoint{};
        EXPECT_EQ(outcomeOf([&] { smbios::unpackRawSmbiosData(block.data(), block.size(), entryPoint); }), c.outcome);
        if (std::string(c.outcome) == "ok") {
            EXPECT_EQ(walk(*tableOf(block, entryPoint.tableLength)), c.visited);
        }
    }
}

TEST(BadInput, KernelTableFiles) {
    const Bytes dmi = {0x01, 0x04, 0x01, 0x00, 0, 0, 0x7F, 0x04, 0x02, 0x00, 0, 0};
    Bytes v2(0x1F, 0);
    std::memcpy(v2.data(), "_SM_", 4);
    const struct {
        const char* name;
        Bytes anchor;
        Bytes table;
        bool writeFiles;
        const char* outcome;
    } cases[] = {
        {"no files", {}, {}, false, "ParseException: Could not read "},
        {"empty table file", v2, {}, true, "ParseException: The firmware's SMBIOS table is empty."},
        {"unknown anchor", Bytes(0x1F, 'x'), dmi, true, "ParseException: SMBIOS Header not found in search."},
        {"2.x anchor cut short", Bytes(v2.begin(), v2.begin() + 0x10), dmi, true,
         "ParseException: SMBIOS Header not found in search."},
        {"2.x anchor", v2, dmi, true, "ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path folder = smbios_test::uniqueTempPath("sysfs");
        std::filesystem::create_directories(folder);
        if (c.writeFiles) {
            std::ofstream(folder / "smbios_entry_point", std::ios::binary)
                .write(reinterpret_cast<const char*>(c.anchor.data()), static_cast<std::streamsize>(c.anchor.size()));
            std::ofstream(folder / "DMI", std::ios::binary)
                .write(reinterpret_cast<const char*>(c.table.data()), static_cast<std::streamsize>(c.table.size()));
        }
        smbios::SmbiosSysfsStrategy strategy(folder.string());
        smbios::TableBuffer buffer;
        smbios::SmbiosEntryPoint entryPoint{};
        const std::string outcome = outcomeOf([&] { strategy.getSmbiosTable(buffer, entryPoint, false); });
        EXPECT_EQ(outcome.substr(0, std::strlen(c.outcome)), c.outcome);
        std::filesystem::remove_all(folder);
    }
}

TEST(BadInput, MemoryImageFiles) {
    const std::filesystem::path shortFile = smbios_test::uniqueTempPath("short") += ".img";
    std::ofstream(shortFile, std::ios::binary).write("0123456789", 10);
    const struct {
        const char* name;
        std::function<void()> action;
        const char* outcome;
    } cases[] = {
        {"empty name", [] { memory::MemoryFile(""); }, "AccessError: File name passed in was null or zero-length."},
        {"missing file", [] { memory::MemoryFile("/nonexistent/velmora.img"); },
         "AccessError: Unable to open memory. File: /nonexistent/velmora.img, OS Error: "},
        {"read past the end",
         [&] {
             std::uint8_t out[16];
             memory::MemoryFile(shortFile.string()).readBlock(out, 2, sizeof out);
         },
         "AccessError: Read error trying to read memory. OS Error: "},
        {"offset from 2 GiB on", [&] { memory::MemoryFile(shortFile.string()).readByte(0x80000000u); },
         "OutOfBounds: Seek error trying to seek to memory location. OS Error: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string outcome = outcomeOf(c.action);
        EXPECT_EQ(outcome.substr(0, std::strlen(c.outcome)), c.outcome);
    }
    std::filesystem::remove(shortFile);
}

TEST(BadInput, MessageTemplates) {
    const std::map<std::string, std::string> strings = {{"self", "<%(self)s>"}, {"pct", "%%"}};
    const std::map<std::string, int> numbers = {{"n", -1}};
    const struct {
        const char* name;
        std::string messageTemplate;
        std::string expanded;
    } cases[] = {
        {"a value that holds its own placeholder stops growing", "%(self)s",
         std::string(smbios::kMaxPlaceholderReplacements, '<') + "%(self)s" +
             std::string(smbios::kMaxPlaceholderReplacements, '>')},
        {"no closing parenthesis", "%(n", "%(n"},
        {"no type letter", "%(n)", "%(n)"},
        {"unknown type letter", "%(n)q", "%(n)q"},
        {"name never set", "%(unset)s", "%(unset)s"},
        {"percent at the end", "100%", "100%"},
        {"negative integer", "%(n)i", "4294967295"},
        {"inserted doubled percent is reduced", "%(pct)s", "%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(smbios::expandMessage(c.messageTemplate, strings, numbers), c.expanded);
    }
}

}  // namespace
