#ifndef VELMORA_LAYOUT_SYSTEM_ID_STRUCTURE_H
#define VELMORA_LAYOUT_SYSTEM_ID_STRUCTURE_H

// Byte offsets of the OEM structure 0xD0 (revisions and the system
// identifier), from the start of its formatted area.

#include <cstddef>
#include <cstdint>

#include "layout/smbios_structure_header.h"

namespace layout::system_id_structure {

constexpr std::uint8_t kType = 0xD0;
// A system id byte of kWideSystemIdFollows says the id is the 16-bit field at kWideSystemId.
constexpr std::size_t kSystemId = 6, kWideSystemId = 8;
constexpr std::uint8_t kWideSystemIdFollows = 0xFE;

}  // namespace layout::system_id_structure

#endif
