#ifndef VELMORA_LAYOUT_CMOS_TOKEN_STRUCTURES_H
#define VELMORA_LAYOUT_CMOS_TOKEN_STRUCTURES_H

// Byte offsets of the OEM structures that declare CMOS settings (0xD4, 0xD5,
// 0xD6), from the start of each formatted area. A checksum declaration is
// four bytes: its type code, the first and last byte of the range it covers,
// and where it is stored.

#include <cstddef>
#include <cstdint>

#include "layout/smbios_structure_header.h"

namespace layout {

// 0xD4: CMOS tokens behind one index/data port pair, with the checksum over
// a range of that bank, then 5-byte entries up to an end entry.
namespace cmos_token_structure {
constexpr std::uint8_t kType = 0xD4;
constexpr std::size_t kIndexPort = 4, kDataPort = 6;  // 16 bits each
constexpr std::size_t kChecksumType = 8, kChecksumStart = 9, kChecksumEnd = 10, kChecksumLocation = 11;
constexpr std::size_t kHeaderLength = 12, kFirstEntry = 12, kEntrySize = 5;
// In an entry: the 16-bit id, the CMOS byte, the masks a bit setting applies.
constexpr std::size_t kEntryId = 0, kEntryLocation = 2, kEntryAndMask = 3, kEntryOrMask = 4;
}  // namespace cmos_token_structure

// 0xD5: one protected CMOS string with its own checksum.
namespace protected_string_structure {
constexpr std::uint8_t kType = 0xD5;
// The 16-bit id, the string's length byte, the password property byte.
constexpr std::size_t kTokenId = 4, kStringLength = 6, kPasswordProperty = 7;
// 16 bits each; an encoding of 0 means stored as is.
constexpr std::size_t kEncoding = 8, kIndexPort = 10, kDataPort = 12;
constexpr std::size_t kChecksumType = 14, kLocation = 15, kChecksumLocation = 16, kLength = 17;
}  // namespace protected_string_structure

// 0xD6: a 0xD5 structure followed by a second checksum over a range of the same bank.
namespace protected_string_with_checksum_structure {
constexpr std::uint8_t kType = 0xD6;
constexpr std::size_t kChecksumType = 17, kChecksumStart = 18, kChecksumEnd = 19, kChecksumLocation = 20;
constexpr std::size_t kLength = 21;
}  // namespace protected_string_with_checksum_structure

}  // namespace layout

#endif
