// Corrections of known firmware defects: the system identifier, the choice
// of a workaround list by it, and the correction of items, over generated
// tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"
#include "smbios/smbios_workarounds.h"
#include "tests/unit/smbios/smbios_fixtures.h"

namespace {

using namespace smbios_test;  // the table builders

// The maker's structure carrying the system identifier: byte 6, and the
// 16-bit form at offset 8 (low byte first).
Bytes systemIdStructure(std::uint8_t narrow, std::uint16_t wide = 0) {
    return structure(0xD0, 0xD000,
                     {0x01, 0x00, narrow, 0x00, static_cast<std::uint8_t>(wide), static_cast<std::uint8_t>(wide >> 8)});
}

// A CMOS token structure: ports 0x72/0x73, checksum type at offset 8, no tokens.
Bytes cmosTokens(std::uint16_t handle, std::uint8_t checksumType) {
    return structure(0xD4, handle, {0x72, 0x00, 0x73, 0x00, checksumType, 0x40, 0x42, 0x50, 0xFF, 0xFF});
}

std::uint8_t checksumTypeOf(const smbios::ISmbiosItem& item) {
    std::uint8_t type = 0xEE;
    item.readData(8, &type, 1);
    return type;
}

struct SystemIdCase {
    const char* name;
    Bytes table;
    std::uint32_t expected;
};

TEST(SystemId, ReadFromTheFirstD0Structure) {
    const SystemIdCase cases[] = {
        {"no 0xD0 structure", join({structure(1, 1, {}), endOfTable()}), 0},
        {"byte 6", join({systemIdStructure(0x42, 0xF001), endOfTable()}), 0x42},
        {"0xFE: the 16-bit form", join({systemIdStructure(0xFE, 0x1234), endOfTable()}), 0x1234},
        {"the first of two", join({systemIdStructure(0x11), systemIdStructure(0x22), endOfTable()}), 0x11},
        {"too short for byte 6", join({structure(0xD0, 0xD000, {0x01, 0x00}), endOfTable()}), 0},
        {"0xFE, too short for the 16-bit form",
         join({structure(0xD0, 0xD000, {0x01, 0x00, 0xFE, 0x00, 0x34}), endOfTable()}), 0xFE},
    };
    for (const SystemIdCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, smbios::systemIdOf(*tableOf(c.table)));
    }
}

struct Row {
    std::uint32_t systemId;
    std::uint8_t corrected;
};

std::vector<Row> selectionRows() {
    std::vector<Row> rows;
    for (const std::uint32_t id : smbios::kInvalidChecksumTypeSystemIds) rows.push_back({id, 0});
    rows.push_back({smbios::kKv4471SystemId, 1});
    return rows;
}

// Every row of the selection table corrects the declared checksum type of
// the affected structure in the item, never in the table's raw bytes.
TEST(Workarounds, EachAffectedModelGetsItsCorrection) {
    const std::vector<Row> rows = selectionRows();
    ASSERT_EQ(12u, rows.size());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.systemId);
        const Bytes affected = cmosTokens(0xD402, 3);
        const Bytes bytes = join({systemIdStructure(0xFE, static_cast<std::uint16_t>(row.systemId)),
                                  cmosTokens(0xD401, 3), affected, endOfTable()});
        auto table = tableOf(bytes);
        const std::size_t affectedAt = bytes.size() - endOfTable().size() - affected.size();

        auto it = table->itemsOfType(0xD4);
        EXPECT_EQ(3, checksumTypeOf(*it)) << "another handle is not affected";
        ++it;
        EXPECT_EQ(row.corrected, checksumTypeOf(*it));
        EXPECT_EQ(3, table->tableData()[affectedAt + 8]);

        table->setRawAccess(true);
        EXPECT_EQ(row.corrected, checksumTypeOf(*++table->itemsOfType(0xD4))) << "cached items keep corrections";
        table->dropItemCache();
        EXPECT_EQ(3, checksumTypeOf(*++table->itemsOfType(0xD4)));
    }
}

TEST(Workarounds, OtherSystemsAndOtherStructuresAreLeftAlone) {
    const struct {
        const char* name;
        Bytes systemId;
        Bytes tokens;
    } cases[] = {
        {"no system identifier", {}, cmosTokens(0xD402, 3)},
        {"the low byte of an affected id in byte 6", systemIdStructure(0x01), cmosTokens(0xD402, 3)},
        {"an unlisted 16-bit id", systemIdStructure(0xFE, 0xF0F0), cmosTokens(0xD402, 3)},
        {"another declared type", systemIdStructure(0xFE, smbios::kKv4471SystemId), cmosTokens(0xD402, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto table = tableOf(join({c.systemId, c.tokens, endOfTable()}));
        EXPECT_EQ(c.tokens[8], checksumTypeOf(*table->itemsOfType(0xD4)));
    }
}

// Keeps the reading order of the symptoms: a short CMOS token structure on
// an affected model cannot be handed out, and nothing is cached for it.
TEST(Workarounds, AShortStructureOnAnAffectedModelFailsItsDereference) {
    auto table = tableOf(join({systemIdStructure(0xFE, smbios::kKv4471SystemId),
                               structure(0xD4, 0xD402, {0x72, 0x00, 0x73, 0x00}), endOfTable()}));
    EXPECT_THROW(table->itemsOfType(0xD4)->type(), smbios::DataOutOfBounds);
    EXPECT_EQ(nullptr, table->findCachedItem(table->tableData() + systemIdStructure(0).size()));
}

// Definitions made here, to reach what the built-in ones cannot.
constexpr std::uint32_t kType = 0x88;
constexpr smbios::WorkaroundEntry kOtherTypeFarAway[] = {{0x89, 200, 1, 0}, {0, 0, 0, 0}};
constexpr smbios::WorkaroundEntry kWordAt4Is1234[] = {{kType, 4, 2, 0x1234}, {0, 0, 0, 0}};
constexpr smbios::WorkaroundEntry kDwordAt4[] = {{kType, 4, 4, 0xA1B2C3D4}, {kType, 9, 1, 0x99}, {0, 0, 0, 0}};
constexpr smbios::WorkaroundEntry kDwordAt4IsSet[] = {{kType, 4, 4, 0xA1B2C3D4}, {0, 0, 0, 0}};
constexpr smbios::WorkaroundEntry kByteAt5[] = {{kType, 5, 1, 0x55}, {0, 0, 0, 0}};
constexpr smbios::WorkaroundEntry kPastTheItem[] = {{kType, 10, 4, 0}, {0, 0, 0, 0}};
constexpr smbios::WorkaroundEntry kAcrossTheEnd[] = {{kType, 6, 4, 0}, {0, 0, 0, 0}};

constexpr smbios::WorkaroundDefinition kSkipped = {"other type", kOtherTypeFarAway, kPastTheItem};
constexpr smbios::WorkaroundDefinition kFirst = {"first", kWordAt4Is1234, kDwordAt4};
constexpr smbios::WorkaroundDefinition kSecond = {"sees the first", kDwordAt4IsSet, kByteAt5};
constexpr smbios::WorkaroundDefinition kPastTheEnd = {"past the end", kWordAt4Is1234, kPastTheItem};
constexpr smbios::WorkaroundDefinition kOverTheEnd = {"over the end", kWordAt4Is1234, kAcrossTheEnd};

TEST(ApplyWorkarounds, DefinitionsApplyInOrderInLittleEndian) {
    const Bytes bytes = structure(kType, 1, {0x34, 0x12, 0x00, 0x00, 0x00, 0x00}, {"s"});
    smbios::SmbiosItem item(bytes.data(), bytes.size());
    const smbios::WorkaroundDefinition* const list[] = {&kSkipped, &kFirst, &kSecond, nullptr};
    const smbios::SmbiosWorkaroundTable workarounds(list);
    item.applyWorkarounds(&workarounds);
    std::size_t size = 0;
    const std::unique_ptr<std::uint8_t[]> copy(item.copyBuffer(size));
    EXPECT_EQ((Bytes{kType, 10, 1, 0, 0xD4, 0x55, 0xB2, 0xA1, 0x00, 0x99, 's', 0, 0}),
              Bytes(copy.get(), copy.get() + size));

    smbios::SmbiosItem untouched(bytes.data(), bytes.size());
    untouched.applyWorkarounds(nullptr);
    const smbios::SmbiosWorkaroundTable none;
    untouched.applyWorkarounds(&none);
    const std::unique_ptr<std::uint8_t[]> same(untouched.copyBuffer(size));
    EXPECT_EQ(bytes, Bytes(same.get(), same.get() + size));
}

TEST(ApplyWorkarounds, AFixOutsideTheItemIsADataOverflow) {
    const Bytes bytes = structure(kType, 1, {0x34, 0x12});
    const struct {
        const smbios::WorkaroundDefinition* definition;
        const char* message;
        int offset;
    } cases[] = {
        {&kPastTheEnd, "Data overflow. Offset requested is larger than data size. offset: 10, data size: 8", 10},
        {&kOverTheEnd, "Data overflow. Offset requested is larger than data size. offset: 6, data size: 8", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.definition->name);
        smbios::SmbiosItem item(bytes.data(), bytes.size());
        const smbios::WorkaroundDefinition* const list[] = {c.definition, nullptr};
        const smbios::SmbiosWorkaroundTable workarounds(list);
        try {
            item.applyWorkarounds(&workarounds);
            ADD_FAILURE() << "a fix outside the item was applied";
        } catch (const smbios::InternalErrorImpl& e) {
            EXPECT_STREQ(c.message, e.what());
            EXPECT_EQ(c.offset, e.getParameterNum("offset"));
            EXPECT_EQ(8, e.getParameterNum("size"));
        }
        std::size_t size = 0;
        const std::unique_ptr<std::uint8_t[]> copy(item.copyBuffer(size));
        EXPECT_EQ(bytes, Bytes(copy.get(), copy.get() + size));
    }
}

}  // namespace
