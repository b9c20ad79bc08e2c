// Little-endian fields at the edges of their buffers, and the entry-point
// decoder shared by the sysfs reader and the dump-file reader.

#include "layout/little_endian.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <stdexcept>
#include <vector>

#include "smbios/smbios_entry_point.h"

namespace {

TEST(LittleEndian, FieldsRunningPastTheEndReadTheirMissingBytesAsZero) {
    const std::array<std::uint8_t, 5> bytes = {0x11, 0x22, 0x33, 0x44, 0x55};
    struct Row {
        std::size_t offset;
        unsigned width;
        std::uint64_t expected;
    };
    for (const Row& row : {Row{0, 2, 0x2211}, Row{1, 4, 0x55443322}, Row{3, 4, 0x5544}, Row{4, 2, 0x55}, Row{5, 2, 0},
                           Row{~std::size_t{0}, 4, 0}, Row{0, 8, 0x5544332211}}) {
        SCOPED_TRACE(row.offset);
        EXPECT_EQ(layout::readLittleEndian(bytes.data(), bytes.size(), row.offset, row.width), row.expected);
    }
    EXPECT_EQ(layout::read16(bytes, 3), 0x5544);
    EXPECT_EQ(layout::read32(bytes, 2), 0x554433u);
    EXPECT_EQ(layout::read64(bytes, 0), 0x5544332211u);
}

TEST(LittleEndian, AWriteThatDoesNotFitWritesNothing) {
    std::vector<std::uint8_t> bytes(6, 0xEE);
    layout::write32(bytes, 2, 0x01020304);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xEE, 0xEE, 0x04, 0x03, 0x02, 0x01}));
    for (const std::size_t offset : {std::size_t{3}, std::size_t{6}, ~std::size_t{0}}) {
        SCOPED_TRACE(offset);
        EXPECT_THROW(layout::write32(bytes, offset, 0), std::out_of_range);
        EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xEE, 0xEE, 0x04, 0x03, 0x02, 0x01}));
    }
    layout::write16(bytes, 4, 0xBEEF);
    EXPECT_EQ(layout::read16(bytes, 4), 0xBEEF);
}

std::vector<std::uint8_t> entryPoint3(std::uint64_t address, std::uint32_t maximumSize) {
    std::vector<std::uint8_t> bytes(0x18, 0);
    const char anchor[] = "_SM3_";
    std::copy(anchor, anchor + 5, bytes.begin());
    const std::uint8_t lengthAndVersion[] = {0x18, 3, 2};
    std::copy(std::begin(lengthAndVersion), std::end(lengthAndVersion), bytes.begin() + 0x06);
    layout::write32(bytes, 0x0C, maximumSize);
    layout::writeLittleEndian(bytes.data(), bytes.size(), 0x10, 8, address);
    return bytes;
}

TEST(EntryPointDecoder, A3xEntryPointKeepsItsWholeAddressBesideTheRecord) {
    const std::vector<std::uint8_t> bytes = entryPoint3(0x1122334455667788u, 0x00012345);
    smbios::DecodedEntryPoint decoded{};
    ASSERT_TRUE(smbios::decodeEntryPoint(bytes.data(), bytes.size(), decoded));
    EXPECT_EQ(decoded.tableAddress, 0x1122334455667788u);
    EXPECT_EQ(decoded.tableLength, 0x12345u);
    EXPECT_EQ(std::string(decoded.record.anchor, 4), "_SM3");
    EXPECT_EQ(decoded.record.length, 0x18);
    EXPECT_EQ(decoded.record.majorVersion, 3);
    EXPECT_EQ(decoded.record.minorVersion, 2);
    EXPECT_EQ(decoded.record.tableAddress, 0x55667788u);
    EXPECT_EQ(decoded.record.structureCount, smbios::kUnknownStructureCount);

    // One byte short of the 24 the 3.x entry point has.
    EXPECT_FALSE(smbios::decodeEntryPoint(bytes.data(), bytes.size() - 1, decoded));
}

TEST(EntryPointDecoder, A2xEntryPointIsTheRecordOfItsBytes) {
    std::vector<std::uint8_t> bytes(0x1F, 0);
    const char anchor[] = "_SM_";
    std::copy(anchor, anchor + 4, bytes.begin());
    bytes[0x05] = 0x1F;
    bytes[0x06] = 2;
    layout::write16(bytes, 0x16, 0x1234);
    layout::write32(bytes, 0x18, 0xF0000);
    layout::write16(bytes, 0x1C, 7);
    smbios::DecodedEntryPoint decoded{};
    ASSERT_TRUE(smbios::decodeEntryPoint(bytes.data(), bytes.size(), decoded));
    EXPECT_EQ(decoded.tableAddress, 0xF0000u);
    EXPECT_EQ(decoded.tableLength, 0x1234u);
    EXPECT_EQ(decoded.record.structureCount, 7);
    EXPECT_EQ(decoded.record.trailing, 0) << "the byte after a 31-byte entry point is not there to copy";

    bytes[0] = 'X';
    EXPECT_FALSE(smbios::decodeEntryPoint(bytes.data(), bytes.size(), decoded));
}

}  // namespace
