#ifndef VELMORA_SMBIOS_SMBIOS_ENTRY_POINT_H
#define VELMORA_SMBIOS_SMBIOS_ENTRY_POINT_H

#include <cstdint>

namespace smbios {

// The SMBIOS 2.x table entry point as found in memory: the standard's 31
// bytes and the byte that follows them. Little-endian, as on every machine
// this library runs on.
#pragma pack(push, 1)
struct SmbiosEntryPoint {
    char anchor[4];  // "_SM_"
    std::uint8_t checksum;
    std::uint8_t length;  // entry point length
    std::uint8_t majorVersion;
    std::uint8_t minorVersion;
    std::uint16_t maxStructureSize;
    std::uint8_t revision;
    std::uint8_t formattedArea[5];
    char intermediateAnchor[5];  // "_DMI_"
    std::uint8_t intermediateChecksum;
    std::uint16_t tableLength;   // bytes of structure table
    std::uint32_t tableAddress;  // physical address of the table
    std::uint16_t structureCount;
    std::uint8_t bcdRevision;
    std::uint8_t trailing;  // the byte after the entry point, copied along
};
#pragma pack(pop)
static_assert(sizeof(SmbiosEntryPoint) == 32, "the entry point record is 32 bytes");

// The structure count the Windows interfaces report: they give no entry point.
constexpr std::uint16_t kUnknownStructureCount = 9999;

}  // namespace smbios

#endif
