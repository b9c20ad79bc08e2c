#ifndef VELMORA_INSPECT_DUMP_BIN_H
#define VELMORA_INSPECT_DUMP_BIN_H

#include <cstdint>
#include <vector>

#include "smbios/smbios_table.h"

namespace hwinspect {

// The offset of the structure table in a dump-bin file.
constexpr std::uint32_t kDumpTableOffset = 0x20;

// The table in the dump-bin layout: a 2.x entry point at offset 0 whose table
// address is 0x20, then every structure the table's walk visits, as the
// firmware gave it (the table hands items out uncorrected while this runs).
// The entry point is the table's own when it has one ("_SM_"); otherwise
// (3.x tables, the Windows interfaces) one is made for the table's version.
// Its length, structure count and largest structure describe what is
// written, and both checksums are set. Throws std::length_error for a table
// whose structures exceed the 16-bit table length.
std::vector<std::uint8_t> makeDumpBin(smbios::ISmbiosTable& table);

}  // namespace hwinspect

#endif
