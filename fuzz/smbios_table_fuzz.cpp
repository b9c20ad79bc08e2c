// Fuzz target: an arbitrary byte string taken as a firmware's SMBIOS
// structure table, walked and read in full (fuzz_walk.h). The first two input
// bytes choose the declared table length relative to the bytes delivered.
// The table also stands in as the process-wide one for the system queries
// (the manufacturer's name and structure strings).
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "fuzz/fuzz_tables.h"
#include "fuzz/fuzz_walk.h"
#include "smbios/smbios_table.h"
#include "smbios/system_info.h"

namespace {

void querySystem(smbios::ISmbiosTable& table) {
    const fuzz::CurrentTable current(&table);
    delete[] smbios::getManufacturerName();
    try {
        delete[] smbios::getStructureString(1, 5);  // the product name
    } catch (const std::exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Declared length: the bytes delivered, or more (a truncated table), or fewer.
    const std::size_t delivered = size - 2;
    const int shift = static_cast<std::int8_t>(data[0]);
    long long declared = static_cast<long long>(delivered) + shift * (data[1] + 1);
    if (declared < 0) declared = 0;
    if (declared > 0xFFFF) declared = 0xFFFF;

    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(
        std::make_unique<fuzz::InputTableStrategy>(data + 2, delivered, static_cast<std::uint16_t>(declared)));
    smbios::SmbiosTable table(std::move(strategies), false);
    table.installWorkarounds();
    fuzz::exerciseTable(table);
    querySystem(table);
    return 0;
}
