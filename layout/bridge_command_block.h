#ifndef VELMORA_LAYOUT_BRIDGE_COMMAND_BLOCK_H
#define VELMORA_LAYOUT_BRIDGE_COMMAND_BLOCK_H

// Byte offsets of the 72-byte raw request block of the bridge library's raw
// command export; the bridge writes its response into the same block.
// Multi-byte values are little-endian whatever the host.

#include <cstddef>

namespace layout::bridge_command_block {

constexpr std::size_t kSize = 72;
// 32 bits, always 11; the controller's 16-bit responder address.
constexpr std::size_t kFixedValue = 16, kResponderAddress = 20;
// 32 bits each: the bytes of the request from kRequest, the response bytes expected.
constexpr std::size_t kRequestLength = 24, kResponseLength = 28;
// The network function and LUN, the command, the first data byte (after the
// call, the controller's status of the request), the 16-bit session handle.
constexpr std::size_t kRequest = 32, kCommand = 33, kFirstData = 34, kSessionHandle = 35;

static_assert(kSessionHandle + 2 <= kSize, "the request lies inside the block");

}  // namespace layout::bridge_command_block

#endif
