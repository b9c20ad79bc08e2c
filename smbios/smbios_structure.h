#ifndef VELMORA_SMBIOS_SMBIOS_STRUCTURE_H
#define VELMORA_SMBIOS_SMBIOS_STRUCTURE_H

#include <cstddef>
#include <cstdint>

namespace smbios {

// How far one SMBIOS structure reaches: its formatted area (as long as its
// length byte says) and its string set up to the two NULs that close it.
struct StructureExtent {
    // Bytes from the structure's first byte through the closing NUL pair, or
    // all `available` bytes when the pair is missing.
    std::size_t size;
    // Whether the closing NUL pair lies inside the available bytes.
    bool closed;
};

// Measures the structure at `structure`, of which only `available` bytes may
// be read (the rest of the table). The walk over the table, the table's items
// and the items' own buffers all take a structure's end from here, so they
// can never disagree about where one structure stops and the next begins.
StructureExtent measureStructure(const std::uint8_t* structure, std::size_t available);

}  // namespace smbios

#endif
