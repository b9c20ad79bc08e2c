#ifndef VELMORA_LAYOUT_CALLING_INTERFACE_STRUCTURE_H
#define VELMORA_LAYOUT_CALLING_INTERFACE_STRUCTURE_H

// Byte offsets of the OEM structure 0xDA, which names the firmware's calling
// interface and lists the tokens reached through it: the 16-bit command port
// and the command code, then 6-byte token entries up to an end entry. The
// calling interface needs only the fields up to kCommandHeaderLength.

#include <cstddef>
#include <cstdint>

#include "layout/smbios_structure_header.h"

namespace layout::calling_interface_structure {

constexpr std::uint8_t kType = 0xDA;
constexpr std::size_t kCommandAddress = 4, kCommandCode = 6, kCommandHeaderLength = 7;
constexpr std::size_t kFirstEntry = 11, kEntrySize = 6;
// In an entry, 16 bits each.
constexpr std::size_t kEntryId = 0, kEntryLocation = 2, kEntryValue = 4;

}  // namespace layout::calling_interface_structure

#endif
