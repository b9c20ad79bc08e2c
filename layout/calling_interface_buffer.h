#ifndef VELMORA_LAYOUT_CALLING_INTERFACE_BUFFER_H
#define VELMORA_LAYOUT_CALLING_INTERFACE_BUFFER_H

// Byte offsets of the request image a calling-interface call hands the
// firmware: a 16-byte command header (two 32-bit signatures, the 16-bit
// command port and the command code), the 36-byte calling-interface buffer
// (16-bit class and select, four 32-bit arguments, four 32-bit results),
// then the call's data buffer. Multi-byte values are little-endian.

#include <cstddef>
#include <cstdint>

namespace layout {

namespace calling_interface_header {
constexpr std::size_t kSize = 16, kMagic = 0, kSecondMagic = 8, kCommandAddress = 12, kCommandCode = 14;
constexpr std::uint32_t kMagicValue = 0x534D4931, kSecondMagicValue = 0x42534931;
}  // namespace calling_interface_header

namespace calling_interface_buffer {
constexpr std::size_t kSize = 36, kClass = 0, kSelect = 2, kArgs = 4, kResults = 20;
constexpr std::size_t kValueCount = 4, kValueSize = 4;
static_assert(kResults + kValueCount * kValueSize == kSize, "the results end the buffer");
}  // namespace calling_interface_buffer

// Where the data buffer starts in the image.
constexpr std::size_t kCallingInterfaceDataOffset = calling_interface_header::kSize + calling_interface_buffer::kSize;

}  // namespace layout

#endif
