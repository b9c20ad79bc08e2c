// The firmware-table interface's answer, as plain code: the two-call fetch
// with its checks, and the raw data block's header.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A raw block: method, major 3, minor 2, DMI revision, 32-bit length, then
// the table.
const Bytes kRawBlock = {
    0x00, 0x03, 0x02, 0x00, 0x06, 0x00, 0x00, 0x00,  // header: method, major, minor, revision, length 6
    0x7F, 0x04, 0xFF, 0xFF, 0x00, 0x00,              // end-of-table structure with its two NULs
};

// Answers the size query with `sizeAnswer` and the fetch with `fillAnswer`,
// copying the block when it fits.
smbios::RawSmbiosSource sourceOf(std::uint32_t sizeAnswer, std::uint32_t fillAnswer) {
    smbios::RawSmbiosSource source;
    source.getTable = [=](void* buffer, std::uint32_t size) {
        if (buffer == nullptr) return sizeAnswer;
        if (size >= kRawBlock.size()) std::memcpy(buffer, kRawBlock.data(), kRawBlock.size());
        return fillAnswer;
    };
    source.lastError = [] { return 122u; };  // ERROR_INSUFFICIENT_BUFFER
    return source;
}

TEST(RawSmbiosData, TheFetchChecksBothCalls) {
    const auto size = static_cast<std::uint32_t>(kRawBlock.size());
    struct Case {
        const char* label;
        std::uint32_t sizeAnswer;
        std::uint32_t fillAnswer;
        const char* error;  // null: fetched
    } cases[] = {
        {"both calls agree", size, size, nullptr},
        {"no size", 0, size, "GetSystemFirmwareTable returned 0 for table length."},
        {"negative size", 0x80000000u, size, "GetSystemFirmwareTable returned 0 for table length."},
        {"implausible size", smbios::kMaxRawSmbiosData + 1, size,
         "GetSystemFirmwareTable returned an implausible table length."},
        {"fetch fails", size, 0, "GetSystemFirmwareTable could not fill the table."},
        {"table grew between the calls", size, size + 4, "GetSystemFirmwareTable could not fill the table."},
        {"fetch shorter than a header", size, 7, "GetSystemFirmwareTable could not fill the table."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            const smbios::TableBuffer table = smbios::fetchRawSmbiosData(sourceOf(c.sizeAnswer, c.fillAnswer));
            EXPECT_EQ(c.error, nullptr);
            EXPECT_EQ(Bytes(table.data.get(), table.data.get() + table.size), kRawBlock);
        } catch (const smbios::ParseExceptionImpl& error) {
            ASSERT_NE(c.error, nullptr) << error.what();
            EXPECT_STREQ(error.what(), c.error);
            EXPECT_EQ(error.getParameterNum("last_error"), 122);  // the system's cause rides along
        }
    }
}

TEST(RawSmbiosData, UnpackingMovesTheTableToTheStart) {
    Bytes block = kRawBlock;
    smbios::SmbiosEntryPoint entryPoint{};
    smbios::unpackRawSmbiosData(block.data(), block.size(), entryPoint);
    EXPECT_EQ(entryPoint.majorVersion, 3);
    EXPECT_EQ(entryPoint.minorVersion, 2);
    EXPECT_EQ(entryPoint.tableLength, block.size());
    EXPECT_EQ(entryPoint.structureCount, smbios::kUnknownStructureCount);
    EXPECT_EQ(block, (Bytes{0x7F, 0x04, 0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A block longer than the 16-bit length can say is walked to 0xFFFF bytes.
    for (const std::size_t size : {std::size_t{0x10000}, std::size_t{0x10004}}) {
        Bytes large(size, 0);
        smbios::unpackRawSmbiosData(large.data(), large.size(), entryPoint);
        EXPECT_EQ(entryPoint.tableLength, 0xFFFF) << size;
    }

    Bytes tooShort(7, 0);
    EXPECT_THROW(smbios::unpackRawSmbiosData(tooShort.data(), tooShort.size(), entryPoint), smbios::ParseException);
}

}  // namespace
