// Finding and validating the entry point in the legacy BIOS area, and reading
// the table it names, over test memory.
#include <gtest/gtest.h>

#include <string>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_strategy.h"
#include "tests/unit/smbios/smbios_fixtures.h"
#include "tests/unit/smbios/vector_memory.h"
#include "tests/unit/support/error_text.h"

namespace {

using smbios_test::Bytes;
using smbios_test::entryPoint;
using smbios_test::VectorMemoryScope;

std::string failureOf(smbios::SmbiosMemoryStrategy& strategy, bool strict) {
    return test_support::errorTextOf<smbios::ParseException>([&] { strategy.findEntryPoint(strict); });
}

// An entry point that fails every check: intermediate anchor, checksum,
// major version and length.
Bytes brokenEntryPoint() {
    Bytes ep = entryPoint(0x20000, 0x40, 2);
    std::memcpy(ep.data() + 0x10, "_XMI_", 5);
    ep[0x15] = 0;  // ends the anchor text
    ep[0x06] = 3;
    ep[0x05] = 0x1E;
    return ep;
}

unsigned sumOf(const Bytes& ep, unsigned count) {
    unsigned sum = 0;
    for (unsigned i = 0; i < count; ++i) sum += ep[i];
    return sum & 0xFF;
}

TEST(MemoryStrategy, SearchFindsAlignedAnchorsAndRemembersTheAddress) {
    VectorMemoryScope memory;
    memory.place(0xF0010, entryPoint(0x20000, 0x40, 2));
    smbios::SmbiosMemoryStrategy strategy(0);
    const smbios::SmbiosEntryPoint found = strategy.findEntryPoint(true);
    EXPECT_EQ(strategy.startAddress, 0xF0010u);
    EXPECT_EQ(found.tableAddress, 0x20000u);
    EXPECT_EQ(found.tableLength, 0x40);
    // Later searches of the same strategy read that one address only.
    const int readsBefore = memory.reads();
    strategy.findEntryPoint(true);
    EXPECT_EQ(memory.reads() - readsBefore, 1);
}

TEST(MemoryStrategy, ASearchReadsTheRangeInLargePiecesWhereTheMemoryAllows) {
    VectorMemoryScope memory;
    memory.place(0xFFFD0, entryPoint(0x20000, 0x40, 2));
    smbios::SmbiosMemoryStrategy whole(0);
    EXPECT_EQ(failureOf(whole, true), "<no error>");
    EXPECT_EQ(memory.reads(), 32);  // 4 KiB of candidates a read, not one read per candidate

    // Memory that ends inside the range is read candidate by candidate, and
    // what it holds is found all the same.
    memory.place(0xF0000, entryPoint(0x20000, 0x40, 2));
    smbios_test::VectorMemoryFactory::bytes.resize(0xF0020);
    smbios::SmbiosMemoryStrategy piecewise(0);
    EXPECT_EQ(failureOf(piecewise, true), "<no error>");
    EXPECT_EQ(piecewise.startAddress, 0xF0000u);
}

TEST(MemoryStrategy, SearchRange) {
    struct Row {
        std::uint32_t address;
        bool found;
    };
    for (const Row& row : {Row{0xE0000, true}, Row{0xF0008, false}, Row{0xE0001, false}, Row{0xE0FF0, true},
                           Row{0xE1000, true}, Row{0xFFFD0, true}, Row{0xFFFE0, false}}) {
        SCOPED_TRACE(row.address);
        VectorMemoryScope memory;
        memory.place(row.address, entryPoint(0x20000, 0x40, 2));
        smbios::SmbiosMemoryStrategy strategy(0);
        EXPECT_EQ(failureOf(strategy, true), row.found ? "<no error>" : "SMBIOS Header not found in search.");
    }
}

TEST(MemoryStrategy, StrictValidationListsEveryFailedCheckInOrder) {
    VectorMemoryScope memory;
    const Bytes broken = brokenEntryPoint();
    memory.place(0xE0000, broken);
    smbios::SmbiosMemoryStrategy lax(0);
    EXPECT_EQ(failureOf(lax, false), "<no error>");

    smbios::SmbiosMemoryStrategy strict(0);
    EXPECT_EQ(failureOf(strict, true),
              "validation of table entry point failed\n"
              "Intermediate anchor string does not match. anchor string: _XMI_\n"
              "Checksum check for table entry point should be zero. checksum: " +
                  std::to_string(sumOf(broken, 0x1E)) +
                  " \n"
                  "Major version of table entry point should be 2: 3\n"
                  "Entry Point Length field is at least 0x1f : 30\n");

    // A later valid candidate is still found past the rejected one.
    memory.place(0xF0000, entryPoint(0x20000, 0x40, 2));
    smbios::SmbiosMemoryStrategy strictAgain(0);
    EXPECT_EQ(failureOf(strictAgain, true), "<no error>");
    EXPECT_EQ(strictAgain.startAddress, 0xF0000u);
}

TEST(MemoryStrategy, LengthByteDecidesTheChecksumRangeAndTheLengthCheck) {
    struct Row {
        std::uint8_t length;
        const char* failure;
    };
    for (const Row& row : {Row{0x1F, "<no error>"},
                           Row{0x1E,
                               "validation of table entry point failed\n"
                               "Entry Point Length field is at least 0x1f : 30\n"},
                           Row{0x00,
                               "validation of table entry point failed\n"
                               "Entry Point Length field is at least 0x1f : 0\n"}}) {
        SCOPED_TRACE(static_cast<int>(row.length));
        Bytes ep = entryPoint(0x20000, 0x40, 2);
        ep[0x05] = row.length;
        // Keep the checksum right over the range the length byte names.
        ep[0x04] = 0;
        const unsigned counted = row.length < 32 ? row.length : 32;
        ep[0x04] = static_cast<std::uint8_t>(0x100 - sumOf(ep, counted));
        VectorMemoryScope memory;
        memory.place(0xE0000, ep);
        smbios::SmbiosMemoryStrategy strategy(0);
        EXPECT_EQ(failureOf(strategy, true), row.failure);
    }
}

TEST(MemoryStrategy, AGivenAddressIsTheOnlyOneRead) {
    VectorMemoryScope memory;
    memory.place(0xF0000, entryPoint(0x20000, 0x40, 2));
    smbios::SmbiosMemoryStrategy strategy(0xF0010);
    EXPECT_EQ(failureOf(strategy, true), "SMBIOS Header not found at offset: 983056");
    EXPECT_EQ(memory.reads(), 1);

    // An address too close to the end of the area is not even read.
    smbios::SmbiosMemoryStrategy tooHigh(0xFFFE0);
    EXPECT_EQ(failureOf(tooHigh, true), "SMBIOS Header not found at offset: 1048544");
    EXPECT_EQ(memory.reads(), 1);
}

TEST(MemoryStrategy, DeliversTheTableOrLeavesTheOldOne) {
    VectorMemoryScope memory;
    const Bytes table = smbios_test::join({smbios_test::systemInformation(1, {"Quor"}), smbios_test::endOfTable()});
    memory.place(0x20000, table);
    memory.place(0xF0000, entryPoint(0x20000, static_cast<std::uint16_t>(table.size()), 2));

    smbios::TableBuffer buffer;
    smbios::SmbiosEntryPoint ep{};
    smbios::SmbiosMemoryStrategy strategy(0);
    ASSERT_TRUE(strategy.getSmbiosTable(buffer, ep, true));
    ASSERT_EQ(buffer.size, table.size());
    EXPECT_EQ(Bytes(buffer.data.get(), buffer.data.get() + buffer.size), table);

    // A table address the memory cannot serve fails the strategy; the old
    // buffer stays.
    memory.place(0xF0000, entryPoint(0xFFFF0, 0x100, 2));
    smbios::SmbiosMemoryStrategy unreadable(0);
    const std::uint8_t* before = buffer.data.get();
    EXPECT_FALSE(unreadable.getSmbiosTable(buffer, ep, true));
    EXPECT_EQ(buffer.data.get(), before);
    EXPECT_EQ(ep.tableAddress, 0xFFFF0u);  // the entry point was already taken
}

}  // namespace
