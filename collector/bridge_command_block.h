#ifndef VELMORA_COLLECTOR_BRIDGE_COMMAND_BLOCK_H
#define VELMORA_COLLECTOR_BRIDGE_COMMAND_BLOCK_H

#include <cstddef>
#include <cstdint>

#include "collector/bridge/bridge_interface.h"

namespace collector {

// The 72-byte raw request block of the bridge library's raw command export;
// the bridge writes its response into the same block. Multi-byte values are
// little-endian whatever the host.
struct BridgeCommandBlock {
    static constexpr size_t kSize = bridge::kCommandBlockSize;
    static constexpr size_t kRequestLengthOffset = 24;
    static constexpr size_t kResponseLengthOffset = 28;
    static constexpr size_t kRequestOffset = 32;
    static constexpr size_t kEndSessionStatusOffset = 34;
    uint8_t bytes[kSize];
};
static_assert(sizeof(BridgeCommandBlock) == bridge::kCommandBlockSize, "the bridge reads the whole block");

// Clears the block and fills it with the request that ends the repository
// session `sessionHandle`: OEM network function 30h, command A2h.
void fillEndSessionBlock(BridgeCommandBlock& block, uint16_t sessionHandle);

}  // namespace collector

#endif
