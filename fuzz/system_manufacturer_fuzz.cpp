// Fuzz target: the system manufacturer's name as the collector asks for it
// (getManufacturerName), from a table whose first structure is a System
// Information structure built from the input. The name is null, or a text
// of the table's own bytes with no blank at its end; asking again gives the
// same answer; and without a table there is no name.
//
// Input: byte 0 is the structure's declared length, the rest its handle,
// formatted area and strings, and whatever structures follow; the table's
// declared length is its size.
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_tables.h"
#include "smbios/smbios_table.h"
#include "smbios/system_info.h"

namespace {

constexpr std::uint8_t kSystemInformation = 1;

// Whether `name` is found among the table's bytes.
bool fromTable(const char* name, const std::vector<std::uint8_t>& bytes) {
    return memmem(bytes.data(), bytes.size(), name, std::strlen(name)) != nullptr;
}

void checkName(const char* name, const std::vector<std::uint8_t>& bytes) {
    if (name == nullptr) return;
    const std::size_t length = std::strlen(name);
    if (length == 0 || name[length - 1] == ' ' || !fromTable(name, bytes)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 0xFFFE) return 0;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size + 1);
    bytes.push_back(kSystemInformation);
    bytes.insert(bytes.end(), data, data + size);

    static const bool noTableNoName = [] {
        const fuzz::CurrentTable none(nullptr);
        return smbios::getManufacturerName() == nullptr;
    }();
    if (!noTableNoName) std::abort();

    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(std::make_unique<fuzz::InputTableStrategy>(bytes.data(), bytes.size(),
                                                                    static_cast<std::uint16_t>(bytes.size())));
    smbios::SmbiosTable table(std::move(strategies), false);
    table.installWorkarounds();
    const fuzz::CurrentTable current(&table);
    const std::unique_ptr<char[]> first(smbios::getManufacturerName());
    checkName(first.get(), bytes);
    const std::unique_ptr<char[]> second(smbios::getManufacturerName());
    if ((first == nullptr) != (second == nullptr)) std::abort();
    if (first != nullptr && std::strcmp(first.get(), second.get()) != 0) std::abort();
    return 0;
}
