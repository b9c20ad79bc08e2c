#ifndef VELMORA_LAYOUT_SMBIOS_ENTRY_POINTS_H
#define VELMORA_LAYOUT_SMBIOS_ENTRY_POINTS_H

// Byte offsets of the two SMBIOS table entry points, one line per group of
// related fields.

#include <cstddef>

namespace layout {

// The 2.x entry point ("_SM_", 31 bytes, on a 16-byte boundary below 1 MiB).
namespace entry_point_2 {
constexpr char kAnchor[] = "_SM_";
constexpr char kIntermediateAnchor[] = "_DMI_";
constexpr std::size_t kAnchorLength = 4, kChecksum = 0x04, kLength = 0x05, kMinimumLength = 0x1F;
constexpr std::size_t kMajorVersion = 0x06, kMinorVersion = 0x07, kRevision = 0x0A, kBcdRevision = 0x1E;
// 16 bits; 5 bytes.
constexpr std::size_t kMaxStructureSize = 0x08, kFormattedArea = 0x0B, kFormattedAreaLength = 5;
constexpr std::size_t kIntermediateAnchorAt = 0x10, kIntermediateAnchorLength = 5, kIntermediateChecksum = 0x15;
// 16 bits, 32 bits, 16 bits.
constexpr std::size_t kTableLength = 0x16, kTableAddress = 0x18, kStructureCount = 0x1C;
// The byte after the entry point, which the library's record keeps too.
constexpr std::size_t kTrailing = 0x1F;
}  // namespace entry_point_2

// The 3.x entry point ("_SM3_", 24 bytes): no structure count, a 64-bit
// table address and a 32-bit maximum table size.
namespace entry_point_3 {
constexpr char kAnchor[] = "_SM3_";
constexpr std::size_t kAnchorLength = 5, kChecksum = 0x05, kLength = 0x06, kMinimumLength = 0x18;
constexpr std::size_t kMajorVersion = 0x07, kMinorVersion = 0x08, kDocumentRevision = 0x09, kRevision = 0x0A;
// 32 bits, 64 bits.
constexpr std::size_t kTableMaximumSize = 0x0C, kTableAddress = 0x10;
}  // namespace entry_point_3

}  // namespace layout

#endif
