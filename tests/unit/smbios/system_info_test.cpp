// The manufacturer query over memory images read through the factories in
// their file modes, as the collector reaches it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "smbios/smbios_exceptions.h"
#include "smbios/system_info.h"
#include "tests/unit/smbios/smbios_fixtures.h"
#include "tests/unit/support/error_text.h"

namespace {

using namespace smbios_test;  // the table builders

struct Owned {
    explicit Owned(char* value) : text(value) {}
    std::unique_ptr<char[]> text;
    std::string shown() const { return text ? "[" + std::string(text.get()) + "]" : "<null>"; }
};

std::string manufacturerFrom(const Bytes& table) {
    SmbiosImage image;
    image.withTable(table);
    ImageFactories factories(image.write());
    return Owned(smbios::getManufacturerName()).shown();
}

TEST(ManufacturerName, FromTheFirstSystemInformationStructure) {
    const Bytes bios = structure(0, 0, {1, 2}, {"BIOS maker"});
    struct Row {
        const char* name;
        Bytes table;
        const char* expected;
    };
    const Row rows[] = {
        {"plain", join({bios, systemInformation(1, {"Quor"}), endOfTable()}), "[Quor]"},
        {"trailing blanks", join({systemInformation(2, {"x", "Quor Computer   "}), endOfTable()}), "[Quor Computer]"},
        {"trailing tab kept", join({systemInformation(1, {"Quor\t"}), endOfTable()}), "[Quor\t]"},
        {"leading blanks kept", join({systemInformation(1, {"  Quor "}), endOfTable()}), "[  Quor]"},
        {"blanks only", join({systemInformation(1, {"    "}), endOfTable()}), "<null>"},
        {"empty string", join({systemInformation(1, {""}), endOfTable()}), "<null>"},
        {"string number 0", join({systemInformation(0, {"Quor"}), endOfTable()}), "<null>"},
        {"string number past the strings", join({systemInformation(3, {"Quor"}), endOfTable()}), "<null>"},
        {"no type 1", join({bios, endOfTable()}), "<null>"},
        {"length byte 4", join({structure(1, 1, {}, {"Quor"}), endOfTable()}), "<null>"},
        {"two type 1 structures",
         join({systemInformation(1, {"First"}, 1), systemInformation(1, {"Second"}, 2), endOfTable()}), "[First]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(manufacturerFrom(row.table), row.expected);
    }
}

TEST(ManufacturerName, EachCallIsItsOwnAllocation) {
    SmbiosImage image;
    image.withTable(join({systemInformation(1, {"Quor"}), endOfTable()}));
    ImageFactories factories(image.write());
    Owned first(smbios::getManufacturerName());
    Owned second(smbios::getManufacturerName());
    ASSERT_NE(first.text, nullptr);
    EXPECT_NE(first.text.get(), second.text.get());
    first.text.reset();
    EXPECT_EQ(second.shown(), "[Quor]");
}

TEST(ManufacturerName, AFailedFirstBuildIsTriedAgain) {
    SmbiosImage empty;
    const std::string nothing = empty.write();
    SmbiosImage good;
    good.withTable(join({systemInformation(1, {"Quor"}), endOfTable()}));
    const std::string table = good.write();

    ImageFactories factories(nothing);
    EXPECT_EQ(Owned(smbios::getManufacturerName()).shown(), "<null>");
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { delete[] smbios::getStructureString(1, 4); }),
              "Could not instantiate SMBIOS table.");
    // Nothing was kept of the failed build: the next call reads the memory again.
    memory::MemoryFactory::getFactory()->reset();
    memory::MemoryFactory::getFactory()->setMode(1);
    memory::MemoryFactory::getFactory()->setParameter("memFile", table);
    EXPECT_EQ(Owned(smbios::getManufacturerName()).shown(), "[Quor]");
}

TEST(StructureString, ReportsWhyThereIsNoString) {
    SmbiosImage image;
    image.withTable(join({systemInformation(0, {"Quor"}), structure(2, 2, {1}, {"   "}), endOfTable()}));
    ImageFactories factories(image.write());
    auto failure = [](int type, unsigned offset) -> std::string {
        try {
            delete[] smbios::getStructureString(type, offset);
        } catch (const smbios::IException& error) {
            return error.what();
        } catch (const std::exception&) {
            return "<plain exception>";
        }
        return "<string>";
    };
    EXPECT_EQ(failure(3, 4), "Programmer error: attempt to dereference a Null iterator.");
    EXPECT_EQ(failure(1, 4), "String does not exist.");
    EXPECT_EQ(failure(1, 0x1B), "Attempt to access data outside the length of header. offset : 27, header_length : 33");
    EXPECT_EQ(failure(2, 4), "<plain exception>");
}

}  // namespace
