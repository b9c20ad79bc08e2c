// Walking the structure table and reading items: filters, the end rules,
// string lookup, bounds checks, the item cache and the text output.
#include <gtest/gtest.h>

#include <climits>
#include <exception>
#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"
#include "tests/unit/smbios/smbios_fixtures.h"
#include "tests/unit/support/error_text.h"

namespace {

using namespace smbios_test;  // the table builders

// The types the walk visits, through the const iterators.
std::vector<int> typesIn(const smbios::ISmbiosTable& table, int type = -1) {
    std::vector<int> types;
    for (auto it = type == -1 ? table.begin() : table.itemsOfType(type); it != table.end(); ++it)
        types.push_back(it->type());
    return types;
}

const Bytes kTable = join({
    structure(0, 0x0000, {1, 2, 0, 0}, {"Quor BIOS", "1.0"}),
    structure(1, 0x0001, Bytes(0x17, 0), {"Quor"}),
    structure(4, 0x0004, {1, 0}, {"CPU"}),
    structure(4, 0x0005, {1, 0}, {"CPU"}),
    endOfTable(),
    structure(2, 0x0002, {}, {"after the end"}),
});

TEST(TableWalk, VisitsEveryStructureUpToTheEndOfTable) {
    auto table = tableOf(kTable);
    EXPECT_EQ(typesIn(*table), (std::vector<int>{0, 1, 4, 4, 127}));
    EXPECT_EQ(typesIn(*table, 4), (std::vector<int>{4, 4}));
    EXPECT_EQ(typesIn(*table, 127), (std::vector<int>{127}));
    EXPECT_TRUE(typesIn(*table, 2).empty());  // only behind the end
    EXPECT_TRUE(table->itemsOfType(9) == table->end());
    EXPECT_EQ(table->begin()->handle(), 0x0000);
    EXPECT_EQ(table->structureCount(), 42);
}

// Tables that break the rules, each byte literal saying what it is. Every
// case walks the whole table and reads string 1 of every item: nothing may
// be read outside the table's buffer.
struct MalformedTable {
    const char* label;
    Bytes bytes;
    int declaredLength;      // -1: the bytes' own length
    std::vector<int> types;  // what the walk visits
    const char* lastString;  // string 1 of the last item visited (null: not checked)
    bool lastHasOnlyOneString;
    int zeroAt;  // >= 0: 4 bytes read there from the last item are zeros
};

const Bytes kSystemInformation = structure(1, 1, Bytes(0x17, 0), {"Quor"});

// The rows stay laid out as a table: the formatter would give each field a line of its own.
// clang-format off
const MalformedTable kMalformedTables[] = {
    {"an end-of-table structure first ends the walk",
     join({endOfTable(), structure(1, 1, {1}, {"Quor"})}), -1, {127}, nullptr, false, -1},
    {"a header that just fits before the end is a structure",
     join({structure(2, 2, {}),
           {0x05,           // type 5
            0x04,           // length: the header alone
            0x05, 0x00}}),  // handle 0005h; no string set: the table ends here
     -1, {2, 5}, nullptr, false, -1},
    {"a header cut short by the end is not",
     join({structure(2, 2, {}),
           {0x05,           // type 5
            0x04,           // length
            0x05}}),        // half a handle
     -1, {2}, nullptr, false, -1},
    {"a table too short for any header holds no structure",
     {0x01,                 // type 1
      0x04,                 // length
      0x00},                // half a handle
     -1, {}, nullptr, false, -1},
    {"a declared length beyond the delivered bytes ends at the bytes",
     join({kSystemInformation,
           {0x03,                     // type 3
            0x05,                     // length: header and one byte
            0x03, 0x00,               // handle 0003h
            0x01,                     // string 1
            'u', 'n', 'c', 'l', 'o', 's', 'e', 'd'}}),  // its string, without a NUL
     5000, {1, 3}, "unclosed", true, -1},
    {"a structure unclosed at the table's end is cut there",
     join({kSystemInformation,
           {0x03,                     // type 3
            0x05,                     // length
            0x03, 0x00,               // handle 0003h
            0x01,                     // string 1
            'a', 'b', 'c'}}),         // its string runs into the end of the table
     -1, {1, 3}, "abc", true, -1},
    {"a formatted area that claims more than the table holds reads as zeros",
     join({kSystemInformation,
           {0x09,                     // type 9
            0x40,                     // length 40h: far past the table's end
            0x09, 0x00,               // handle 0009h
            0x07}}),                  // the one formatted byte there is
     -1, {1, 9}, nullptr, false, 0x3C},
};
// clang-format on

TEST(TableWalk, MalformedTables) {
    for (const MalformedTable& c : kMalformedTables) {
        SCOPED_TRACE(c.label);
        auto table = tableOf(c.bytes, c.declaredLength);
        std::vector<int> types;
        const smbios::ISmbiosItem* last = nullptr;
        for (auto it = table->begin(); it != table->end(); ++it) {
            types.push_back(it->type());
            it->stringAt(1);
            last = &*it;
        }
        EXPECT_EQ(types, c.types);
        if (c.types.empty()) {
            EXPECT_TRUE(table->begin() == table->end());
        }
        if (c.types.size() == 1 && c.types[0] == 127) {
            EXPECT_TRUE(table->itemsOfType(1) == table->end());
        }
        if (last == nullptr) continue;
        if (c.lastString != nullptr) {
            EXPECT_STREQ(last->stringAt(1), c.lastString);
        }
        if (c.lastHasOnlyOneString) {
            EXPECT_EQ(test_support::errorTextOf<smbios::StringUnavailable>([&] { last->stringAt(2); }),
                      "The string does not exist. Bad index caused this error");
        }
        if (c.zeroAt >= 0) {
            std::uint8_t bytesRead[4] = {0xFF, 0xFF, 0xFF, 0xFF};
            last->readData(static_cast<unsigned>(c.zeroAt), bytesRead, 4);
            EXPECT_EQ(bytesRead[0], 0);
            EXPECT_GE(last->bufferSize(), static_cast<std::size_t>(c.zeroAt) + 6);
        }
    }
}

TEST(Items, StringLookup) {
    auto table = tableOf(join({structure(2, 2, {}), structure(0, 0, {1, 2}, {"first", "second"}), endOfTable()}));
    const smbios::ISmbiosItem& none = *table->itemsOfType(2);
    const smbios::ISmbiosItem& two = *table->itemsOfType(0);
    EXPECT_STREQ(none.stringAt(1), "");
    EXPECT_EQ(test_support::errorTextOf<smbios::StringUnavailable>([&] { none.stringAt(2); }),
              "The string does not exist. Bad index caused this error");
    EXPECT_STREQ(two.stringAt(1), "first");
    EXPECT_STREQ(two.stringAt(2), "second");
    EXPECT_EQ(test_support::errorTextOf<smbios::StringUnavailable>([&] { two.stringAt(3); }),
              "The string does not exist. Bad index caused this error");
    EXPECT_EQ(test_support::errorTextOf<smbios::StringUnavailable>([&] { two.stringAt(0); }), "String does not exist.");
    EXPECT_EQ(test_support::errorTextOf<smbios::StringUnavailable>([&] { two.stringAt(255); }),
              "The string does not exist. Bad index caused this error");
    // Lookups in any order give the same strings (a lookup goes on from the last).
    auto three = tableOf(join({structure(0, 0, {1, 2, 3}, {"a", "bb", "ccc"}), endOfTable()}));
    const smbios::ISmbiosItem& item = *three->begin();
    std::string order;
    for (std::uint8_t number : {3, 1, 2, 3, 2, 1, 3}) order += std::string(item.stringAt(number)) + " ";
    EXPECT_EQ(order, "ccc a bb ccc bb a ccc ");
}

TEST(Items, ReadsStayInsideTheFormattedArea) {
    auto table = tableOf(join({structure(7, 7, {1, 2, 3, 4}), endOfTable()}));  // length 8, buffer 10
    const smbios::ISmbiosItem& item = *table->itemsOfType(7);
    std::uint8_t out[8] = {};
    item.readData(7, out, 1);
    EXPECT_EQ(out[0], 4);
    item.readData(8, out, 0);
    item.readData(0, nullptr, 0);  // a zero-byte read copies nothing, even to nowhere
    item.readData(8, nullptr, 0);
    item.readData(0, out, 8);
    EXPECT_EQ(out[4], 1);

    const std::string outside = "Attempt to access data outside the length of header. offset : ";
    EXPECT_EQ(test_support::errorTextOf<smbios::DataOutOfBounds>([&] { item.readData(8, out, 1); }),
              outside + "8, header_length : 10");
    EXPECT_EQ(test_support::errorTextOf<smbios::DataOutOfBounds>([&] { item.readData(9, out, 0); }),
              outside + "9, header_length : 10");
    EXPECT_EQ(test_support::errorTextOf<smbios::DataOutOfBounds>([&] { item.readData(4, out, SIZE_MAX); }),
              outside + "4, header_length : 10");
    EXPECT_EQ(test_support::errorTextOf<smbios::DataOutOfBounds>([&] { item.readData(UINT_MAX, out, 2); }),
              outside + "4294967295, header_length : 10");
}

TEST(Items, CopiesAndClonesOwnTheirBytes) {
    auto table = tableOf(join({structure(0, 0, {1}, {"text"}), endOfTable()}));
    const smbios::ISmbiosItem& item = *table->begin();
    std::size_t size = 0;
    std::unique_ptr<std::uint8_t[]> copy(item.copyBuffer(size));
    EXPECT_EQ(size, item.bufferSize());
    EXPECT_EQ(Bytes(copy.get(), copy.get() + size), (Bytes{0, 5, 0, 0, 1, 't', 'e', 'x', 't', 0, 0}));
    std::unique_ptr<const smbios::ISmbiosItem> clone = item.clone();
    table.reset();
    EXPECT_STREQ(clone->stringAt(1), "text");
}

TEST(ItemCache, OneItemPerPositionUntilDropped) {
    auto table = tableOf(kTable);
    smbios::ISmbiosItem* item = &*table->itemsOfType(1);
    EXPECT_EQ(&*table->itemsOfType(1), item);
    smbios::ISmbiosItem* first = &*table->begin();
    EXPECT_EQ(table->findCachedItem(table->tableData()), first);
    table->dropItemCache();
    EXPECT_EQ(table->findCachedItem(table->tableData()), nullptr);
    EXPECT_EQ(table->itemsOfType(1)->type(), 1);
}

TEST(ItemCache, ANullEntryIsAnInternalError) {
    auto table = tableOf(kTable);
    table->storeCachedItem(table->tableData(), nullptr);
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { table->begin()->type(); }),
              "No null pointers should ever leak into the itemList");
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { delete table->createItem(nullptr); }),
              "Not a valid header. header is zero.");
}

TEST(TableErrors, EndIteratorsAndKeyLookup) {
    auto table = tableOf(kTable);
    EXPECT_EQ(test_support::errorTextOf<smbios::ParameterException>([&] { table->end()->type(); }),
              "Programmer error: attempt to dereference a Null iterator.");
    EXPECT_EQ(test_support::errorTextOf<smbios::NotImplemented>([&] { table->itemsByKey("Manufacturer"); }),
              "This is an enhanced function call that is not available in the base Smbios library. You must be "
              "using an enhanced library such as Tabulon to use this API");
}

// A table of somebody else's making: the iterators cannot walk it.
class ForeignTable : public smbios::ISmbiosTable {
public:
    smbios::ConstSmbiosTableIterator begin() const override { return smbios::ConstSmbiosTableIterator(this); }
    smbios::SmbiosTableIterator begin() override { return smbios::SmbiosTableIterator(this); }
    smbios::ConstSmbiosTableIterator end() const override { return {}; }
    smbios::SmbiosTableIterator end() override { return {}; }
    smbios::ConstSmbiosTableIterator itemsByKey(const std::string&) const override { return {}; }
    smbios::SmbiosTableIterator itemsByKey(const std::string&) override { return {}; }
    smbios::ConstSmbiosTableIterator itemsOfType(int type) const override { return {this, type}; }
    smbios::SmbiosTableIterator itemsOfType(int type) override { return {this, type}; }
    void setRawAccess(bool) override {}
    void dropItemCache() override {}
    void loadTable() override {}
    int structureCount() const override { return 0; }
    void copyEntryPoint(smbios::SmbiosEntryPoint&) const override {}
    std::ostream& print(std::ostream& stream) const override { return stream; }
};

TEST(TableErrors, AnotherKindOfTableCannotBeWalked) {
    ForeignTable foreign;
    const smbios::ISmbiosTable& constForeign = foreign;
    const std::string message = "Smbios table not found or not initialized";
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { foreign.begin(); }), message);
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { constForeign.itemsOfType(1); }), message);
}

TEST(TableErrors, WhenEveryStrategyFailsTheyAreDropped) {
    auto failing = std::make_unique<smbios_test::GivenTableStrategy>(kTable);
    smbios_test::GivenTableStrategy* strategy = failing.get();
    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(std::move(failing));
    smbios::SmbiosTable table(std::move(strategies), false);
    strategy->fails = true;
    const int callsBefore = smbios_test::GivenTableStrategy::allCalls;
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { table.loadTable(); }),
              "Could not instantiate SMBIOS table.");
    EXPECT_EQ(smbios_test::GivenTableStrategy::allCalls, callsBefore + 1);
    // The strategies are gone; a second load fails at once, asking none.
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { table.loadTable(); }),
              "Could not instantiate SMBIOS table.");
    EXPECT_EQ(smbios_test::GivenTableStrategy::allCalls, callsBefore + 1);
    // The table read before stays readable.
    EXPECT_EQ(table.begin()->type(), 0);
}

// A strategy that fails the way the Windows ones do: by throwing.
class ThrowingStrategy : public smbios::SmbiosStrategy {
public:
    explicit ThrowingStrategy(std::string message) : message_(std::move(message)) {}
    bool getSmbiosTable(smbios::TableBuffer&, smbios::SmbiosEntryPoint&, bool) override {
        smbios::ParseExceptionImpl error(message_);
        error.setParameter("hresult", static_cast<int>(0x80041002u));
        throw error;
    }

private:
    std::string message_;
};

TEST(TableErrors, TheLastStrategyErrorIsTheCause) {
    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(std::make_unique<ThrowingStrategy>("first"));
    strategies.push_back(std::make_unique<ThrowingStrategy>("GetWMISMBIOSTable: Buffer size was zero."));
    auto failing = std::make_unique<smbios_test::GivenTableStrategy>(kTable);
    failing->fails = true;  // returns false: not an error of its own
    strategies.push_back(std::move(failing));
    try {
        smbios::SmbiosTable table(std::move(strategies), false);
        ADD_FAILURE() << "a table without any strategy delivering";
    } catch (const smbios::InternalError& error) {
        EXPECT_STREQ(error.what(), "Could not instantiate SMBIOS table.");
        const auto& withParameters = dynamic_cast<const smbios::InternalErrorImpl&>(error);
        EXPECT_EQ(withParameters.getParameterString("cause"), "GetWMISMBIOSTable: Buffer size was zero.");
        try {
            std::rethrow_if_nested(error);
            ADD_FAILURE() << "no nested cause";
        } catch (const smbios::ParseExceptionImpl& cause) {
            EXPECT_STREQ(cause.what(), "GetWMISMBIOSTable: Buffer size was zero.");
            EXPECT_EQ(static_cast<unsigned>(cause.getParameterNum("hresult")), 0x80041002u);
        }
    }
}

TEST(TextOutput, ItemsAndTables) {
    const Bytes bytes = join({structure(0xDA, 0x001F, {1, 2}, {"x"}), endOfTable(0x0100)});
    auto table = tableOf(bytes);
    std::ostringstream item;
    item << *table->begin() << 255;
    EXPECT_EQ(item.str(), "Handle 0x001f\n\tDMI type 0xda, 6 bytes.\n255");

    std::ostringstream whole;
    whole << *table;
    EXPECT_EQ(whole.str(),
              "\nSMBIOS table \n\tversion    : 2.8\n\taddress    : 0\n\tlength     : " + std::to_string(bytes.size()) +
                  "\n\tnum structs: 42\n\n"
                  "Handle 0x001f\n\tDMI type 0xda, 6 bytes.\n\n"
                  "Handle 0x0100\n\tDMI type 0x7f, 4 bytes.\n\n");
}

// The printed forms set the formatting they need and hand the caller's back.
TEST(TextOutput, TheCallersStreamFormattingNeitherLeaksInNorIsLost) {
    auto table = tableOf(join({structure(0xDA, 0x001F, {1, 2}, {"x"}), endOfTable(0x0100)}));
    std::ostringstream item;
    item << std::left << std::setfill('*') << std::uppercase << *table->begin() << std::setw(4) << 7;
    EXPECT_EQ(item.str(), "Handle 0x001f\n\tDMI type 0xda, 6 bytes.\n7***");

    std::ostringstream plain;
    plain << *table;
    std::ostringstream inHex;
    inHex << std::hex << std::showbase << *table << 255;
    EXPECT_EQ(inHex.str(), plain.str() + "0xff");
}

}  // namespace
