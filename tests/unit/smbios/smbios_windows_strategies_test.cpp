// The two Windows sources of the table, for real, against what Wine serves:
// its firmware-table interface builds a small SMBIOS 2.4 table (types 0, 1,
// 2, 3, 32 and 127) whose strings come from the host's /sys/class/dmi/id,
// and its WMI class has an SMBiosData of VT_NULL. Real Windows serves the
// firmware's own table through both.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "memory/memory_factory.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_factory.h"
#include "smbios/smbios_platform_strategies.h"
#include "smbios/system_info.h"
#include "tests/unit/support/error_text.h"

namespace {

std::vector<int> typesIn(const smbios::ISmbiosTable& table) {
    std::vector<int> types;
    for (auto it = table.begin(); it != table.end(); ++it) types.push_back(it->type());
    return types;
}

// What Wine puts into the type 1 Manufacturer: the host's vendor text, or no
// string where the host has none.
std::string hostVendor() {
    std::ifstream file("Z:\\sys\\class\\dmi\\id\\sys_vendor");
    std::string vendor;
    std::getline(file, vendor);
    while (!vendor.empty() && vendor.back() == ' ') vendor.pop_back();
    return vendor;
}

TEST(WindowsStrategies, FirmwareTableDeliversTheTableBehindItsHeader) {
    smbios::TableBuffer table;
    smbios::SmbiosEntryPoint entryPoint{};
    smbios::SmbiosWinGetFirmwareTableStrategy strategy;
    ASSERT_TRUE(strategy.getSmbiosTable(table, entryPoint, true));
    EXPECT_EQ(entryPoint.majorVersion, 2);
    EXPECT_EQ(entryPoint.minorVersion, 4);
    EXPECT_EQ(entryPoint.structureCount, 9999);
    EXPECT_EQ(entryPoint.tableLength, table.size);
    ASSERT_GT(table.size, 8u);
    for (std::size_t i = table.size - 8; i < table.size; ++i) EXPECT_EQ(table.data[i], 0) << i;
    EXPECT_EQ(table.data[0], 0);  // the first structure, BIOS information, now at the start
}

TEST(WindowsStrategies, WmiHasNoTableUnderWine) {
    smbios::TableBuffer table;
    smbios::SmbiosEntryPoint entryPoint{};
    smbios::SmbiosWinWMIStrategy strategy;
    EXPECT_EQ(
        test_support::errorTextOf<smbios::ParseException>([&] { strategy.getSmbiosTable(table, entryPoint, false); }),
        "GetWMISMBIOSTable: SMBiosData returned unknown entry type.");
    EXPECT_EQ(table.data, nullptr);
}

TEST(WindowsStrategies, DefaultModeFallsBackFromMemoryToTheFirmwareTable) {
    smbios::SmbiosFactory::getFactory()->reset();
    memory::MemoryFactory::getFactory()->reset();
    // Physical memory cannot be read under Wine, so the memory strategy
    // fails and the table is the firmware-table interface's (count 9999).
    const smbios::ISmbiosTable* table = smbios::SmbiosFactory::getFactory()->getSingleton();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->structureCount(), 9999);
    EXPECT_EQ(typesIn(*table), (std::vector<int>{0, 1, 3, 2, 32, 127}));  // in the order Wine lays them out

    std::unique_ptr<char[]> name(smbios::getManufacturerName());
    const std::string vendor = hostVendor();
    if (vendor.empty()) {
        EXPECT_EQ(name, nullptr);
    } else {
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(name.get()), vendor);
    }
    smbios::SmbiosFactory::getFactory()->reset();
    memory::MemoryFactory::getFactory()->reset();
}

}  // namespace
