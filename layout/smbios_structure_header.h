#ifndef VELMORA_LAYOUT_SMBIOS_STRUCTURE_HEADER_H
#define VELMORA_LAYOUT_SMBIOS_STRUCTURE_HEADER_H

// The header every structure of the SMBIOS table starts with (type, length,
// 16-bit handle), and the id that ends the token entry lists of the OEM
// structures.

#include <cstddef>
#include <cstdint>

namespace layout {

namespace structure_header {
constexpr std::size_t kType = 0, kLength = 1, kHandle = 2;
constexpr std::size_t kSize = 4;  // where the formatted area goes on
}  // namespace structure_header

constexpr std::uint16_t kEndOfTokenEntries = 0xFFFF;

}  // namespace layout

#endif
