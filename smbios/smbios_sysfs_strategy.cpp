#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

namespace {

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ParseExceptionImpl("Could not read " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

SmbiosSysfsStrategy::SmbiosSysfsStrategy(std::string folder) : folder_(std::move(folder)) {}

bool SmbiosSysfsStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool) {
    const std::vector<std::uint8_t> anchor = readWholeFile(folder_ + "/smbios_entry_point");
    const std::vector<std::uint8_t> structures = readWholeFile(folder_ + "/DMI");
    if (structures.empty()) throw ParseExceptionImpl("The firmware's SMBIOS table is empty.");

    const std::size_t length = tableLengthFor(structures.size());
    DecodedEntryPoint decoded{};
    if (!decodeEntryPoint(anchor.data(), anchor.size(), decoded)) {
        throw ParseExceptionImpl("SMBIOS Header not found in search.");
    }
    SmbiosEntryPoint found = decoded.record;
    // What the kernel delivered is the table, whatever the entry point claims.
    found.tableLength = tableLengthFor(length);

    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[length]);
    std::memcpy(data.get(), structures.data(), length);
    table.data = std::move(data);
    table.size = length;
    entryPoint = found;
    return true;
}

}  // namespace smbios
