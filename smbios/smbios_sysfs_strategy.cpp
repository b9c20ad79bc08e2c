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

std::uint32_t little32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                      static_cast<std::uint32_t>(bytes[3]) << 24);
}

}  // namespace

SmbiosSysfsStrategy::SmbiosSysfsStrategy(std::string folder) : folder_(std::move(folder)) {}

bool SmbiosSysfsStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool) {
    const std::vector<std::uint8_t> anchor = readWholeFile(folder_ + "/smbios_entry_point");
    const std::vector<std::uint8_t> structures = readWholeFile(folder_ + "/DMI");
    if (structures.empty()) throw ParseExceptionImpl("The firmware's SMBIOS table is empty.");

    SmbiosEntryPoint found{};
    // The table length field has 16 bits; a longer table is walked to there.
    const std::size_t length = structures.size() < 0xFFFF ? structures.size() : 0xFFFF;
    if (anchor.size() >= 0x1F && std::memcmp(anchor.data(), "_SM_", 4) == 0) {
        std::memcpy(&found, anchor.data(), anchor.size() < sizeof found ? anchor.size() : sizeof found);
    } else if (anchor.size() >= 0x18 && std::memcmp(anchor.data(), "_SM3_", 5) == 0) {
        // The 3.x entry point has no structure count and a 64-bit address.
        std::memcpy(found.anchor, "_SM3", 4);
        found.length = anchor[0x06];
        found.majorVersion = anchor[0x07];
        found.minorVersion = anchor[0x08];
        found.tableAddress = little32(anchor.data() + 0x10);
        found.structureCount = kUnknownStructureCount;
    } else {
        throw ParseExceptionImpl("SMBIOS Header not found in search.");
    }
    // What the kernel delivered is the table, whatever the entry point claims.
    found.tableLength = static_cast<std::uint16_t>(length);

    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[length]);
    std::memcpy(data.get(), structures.data(), length);
    table.data = std::move(data);
    table.size = length;
    entryPoint = found;
    return true;
}

}  // namespace smbios
