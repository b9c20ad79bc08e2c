#ifndef VELMORA_SMBIOS_SMBIOS_ENTRY_POINT_H
#define VELMORA_SMBIOS_SMBIOS_ENTRY_POINT_H

#include <cstddef>
#include <cstdint>

namespace smbios {

// The SMBIOS 2.x table entry point as found in memory: the standard's 31
// bytes and the byte that follows them (layout/smbios_entry_points.h has the
// offsets).
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

// The record's table length for a table delivered as `size` bytes: the field
// has 16 bits, so a longer table is walked to 0xFFFF bytes, not to its size
// modulo 65536.
constexpr std::uint16_t tableLengthFor(std::size_t size) {
    return static_cast<std::uint16_t>(size < 0xFFFF ? size : 0xFFFF);
}

// The record of the 2.x entry point whose bytes start at `bytes`; bytes past
// `size` (at most the record's 32) read as zero.
SmbiosEntryPoint entryPointFromBytes(const std::uint8_t* bytes, std::size_t size);

// An entry point read from a file: the library's record and where the table
// lies by the entry point's own fields. A 3.x entry point becomes a record
// with the anchor "_SM3", its version and length, no structure count and the
// low 32 bits of its address; its table length is the announced maximum.
struct DecodedEntryPoint {
    SmbiosEntryPoint record;
    std::uint64_t tableAddress;
    std::uint64_t tableLength;
};

// Decodes the 2.x (at least 31 bytes) or 3.x (at least 24 bytes) entry point
// at the start of `bytes`. False when neither anchor is there.
bool decodeEntryPoint(const std::uint8_t* bytes, std::size_t size, DecodedEntryPoint& decoded);

}  // namespace smbios

#endif
