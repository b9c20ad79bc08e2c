#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory/firmware_tables.h"
#include "smbios/memory_exceptions.h"
#include "tests/unit/support/error_text.h"

namespace {

using memory::FirmwareTableFunctions;

// Stand-ins for the system's two firmware-table calls: a provider listing
// `listed` (in that order) and serving tables of `sizes`, counting fetches.
struct FakeFirmware {
    std::vector<std::uint32_t> listed;
    std::map<std::uint32_t, std::uint32_t> sizes;
    std::map<std::uint32_t, int> fetches;
    std::uint32_t listSizeOverride = ~0u;
    std::uint32_t growsBy = 0;  // the table grows between the size query and the fetch
};
FakeFirmware fake;

std::uint8_t tableByte(std::uint32_t id, std::uint32_t index) {
    return static_cast<std::uint8_t>((id >> 16) * 31 + index * 3 + (index >> 8));
}

std::uint32_t fakeEnumerate(std::uint32_t provider, void* buffer, std::uint32_t size) {
    if (provider != memory::kFirmProvider) return 0;
    const std::uint32_t needed = fake.listSizeOverride != ~0u ? fake.listSizeOverride
                                                              : static_cast<std::uint32_t>(fake.listed.size() * 4);
    if (buffer != nullptr && size >= needed) std::memcpy(buffer, fake.listed.data(), fake.listed.size() * 4);
    return needed;
}

std::uint32_t fakeGet(std::uint32_t provider, std::uint32_t id, void* buffer, std::uint32_t size) {
    if (provider != memory::kFirmProvider || fake.sizes.count(id) == 0) return 0;
    std::uint32_t tableSize = fake.sizes[id];
    if (buffer != nullptr) tableSize += fake.growsBy;
    if (buffer != nullptr && size >= tableSize) {
        ++fake.fetches[id];
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        for (std::uint32_t i = 0; i < tableSize; ++i) bytes[i] = tableByte(id, i);
    }
    return tableSize;
}

const FirmwareTableFunctions kFake{fakeEnumerate, fakeGet};

class FirmwareTablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::releaseFirmwareTableCaches();
        fake = FakeFirmware();
        fake.listed = {0xC0000, 0xE0000};
        fake.sizes = {{0xC0000, 0x20000}, {0xE0000, 0x20000}};
    }
    void TearDown() override { memory::releaseFirmwareTableCaches(); }

    // Reads `length` bytes at `offset`, checks them against table `id` and
    // returns the error text, empty when the read succeeded.
    static std::string read(std::uint64_t offset, std::uint32_t length, std::uint32_t id) {
        std::vector<std::uint8_t> buffer(length + 1, 0xEE);
        std::string message;
        try {
            memory::readFirmwareTables(kFake, buffer.data(), offset, length);
        } catch (const memory::AccessError& e) {
            message = e.what();
        }
        const std::uint64_t start = offset - id;
        for (std::uint32_t i = 0; message.empty() && i < length; ++i) {
            EXPECT_EQ(tableByte(id, static_cast<std::uint32_t>(start + i)), buffer[i]) << std::hex << offset;
        }
        EXPECT_EQ(0xEE, buffer[length]) << "written past the block at " << std::hex << offset;
        return message;
    }
};

TEST_F(FirmwareTablesTest, FetchesEachBiosTableOnce) {
    EXPECT_EQ("", read(0xF0000, 16, 0xE0000));
    EXPECT_EQ("", read(0xF0010, 16, 0xE0000));
    EXPECT_EQ("", read(0xE0000 + 0x1FFFE, 1, 0xE0000));
    EXPECT_EQ(1, fake.fetches[0xE0000]);
    EXPECT_EQ(0, fake.fetches[0xC0000]);
    EXPECT_EQ("", read(0xC0010, 4, 0xC0000));
    EXPECT_EQ("", read(0xC0000 + 0x1FFFE, 1, 0xC0000));
    EXPECT_EQ(1, fake.fetches[0xC0000]);
}

// The copy serves up to base + 1FFFEh; the table itself up to base + 20000h.
TEST_F(FirmwareTablesTest, LastTwoOffsetsFetchAgain) {
    EXPECT_EQ("", read(0xC0000, 1, 0xC0000));
    EXPECT_EQ("", read(0xC0000 + 0x1FFFF, 1, 0xC0000));
    EXPECT_EQ(2, fake.fetches[0xC0000]);
    EXPECT_EQ("", read(0xC0000 + 0x1FFFE, 1, 0xC0000));
    EXPECT_EQ(2, fake.fetches[0xC0000]);
    memory::releaseFirmwareTableCaches();
    EXPECT_EQ("", read(0xC0010, 1, 0xC0000));
    EXPECT_EQ(3, fake.fetches[0xC0000]);
}

TEST_F(FirmwareTablesTest, ReadsOutsideEveryTable) {
    const std::string none = "Could not locate a table which can be used.";
    EXPECT_EQ(none, read(0x80000, 1, 0));
    EXPECT_EQ(none, read(0x100001, 1, 0));
    // The whole 64-bit offset counts: 4 GiB above a table is not in it.
    EXPECT_EQ(none, read(0x1000F0000, 1, 0));
    // An empty list entry is no table at address 0.
    fake.listed = {0, 0xE0000};
    EXPECT_EQ(none, read(0x100, 1, 0));
    EXPECT_EQ(0, fake.fetches[0xE0000]);
}

// Of all tables holding the offset, the last listed one is read.
TEST_F(FirmwareTablesTest, LastMatchingTableWins) {
    fake.listed = {0xE0000, 0xC0000};
    fake.sizes[0xC0000] = 0x20001;
    EXPECT_EQ("", read(0xE0000, 1, 0xC0000));
    fake.listed = {0xC0000, 0xE0000};
    memory::releaseFirmwareTableCaches();
    EXPECT_EQ("", read(0xE0000, 1, 0xE0000));
}

// Only what lies inside the table is copied; the rest is an error.
TEST_F(FirmwareTablesTest, ReadsPastTheTableEnd) {
    const std::string past = "Read runs past the end of the firmware table.";
    fake.sizes[0xE0000] = 0x10000;
    for (int pass = 0; pass < 2; ++pass) {  // fetched, then from the copy
        std::uint8_t buffer[16];
        std::memset(buffer, 0xEE, sizeof(buffer));
        try {
            memory::readFirmwareTables(kFake, buffer, 0xF0000 - 8, 16);
            ADD_FAILURE() << "read past the end succeeded";
        } catch (const memory::AccessError& e) {
            EXPECT_EQ(past, e.what());
        }
        for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(tableByte(0xE0000, 0x10000 - 8 + i), buffer[i]);
        for (std::uint32_t i = 8; i < 16; ++i) EXPECT_EQ(0, buffer[i]);
        EXPECT_EQ(past, read(0xF8000, 1, 0xE0000));
    }
    EXPECT_EQ(1, fake.fetches[0xE0000]);
    // Any other table is read on each use and kept nowhere.
    fake.listed = {0xD0000};
    fake.sizes[0xD0000] = 0x100;
    memory::releaseFirmwareTableCaches();
    EXPECT_EQ("", read(0xD0010, 4, 0xD0000));
    EXPECT_EQ(past, read(0xD00FE, 4, 0xD0000));
    EXPECT_EQ(2, fake.fetches[0xD0000]);
}

TEST_F(FirmwareTablesTest, SystemReportsNothing) {
    fake.listSizeOverride = 0;
    EXPECT_EQ("EnumSystemFirmwareTables returned 0 for table size.", read(0xF0000, 1, 0xE0000));
    fake.listSizeOverride = ~0u;
    fake.sizes.erase(0xE0000);
    EXPECT_EQ("GetSystemFirmwareTable returned 0 for table length.", read(0xF0000, 1, 0xE0000));
}

TEST_F(FirmwareTablesTest, AFetchThatDoesNotFitItsSizeIsRefused) {
    fake.growsBy = 16;  // the second call needs more room than the first one reported
    EXPECT_EQ("GetSystemFirmwareTable could not fill the table.", read(0xF0000, 1, 0xE0000));
    fake.growsBy = 0;
    fake.sizes[0xE0000] = 0x80000000u;  // never allocated
    EXPECT_EQ("GetSystemFirmwareTable returned an implausible table length.", read(0xF0000, 1, 0xE0000));
}

TEST_F(FirmwareTablesTest, NullBufferIsRefused) {
    EXPECT_EQ(
        test_support::errorTextOf<memory::AccessError>([&] { memory::readFirmwareTables(kFake, nullptr, 0xF0000, 4); }),
        "Error accessing buffer.");
}

}  // namespace
