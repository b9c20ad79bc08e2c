#ifndef VELMORA_COLLECTOR_BRIDGE_COMMAND_BLOCK_H
#define VELMORA_COLLECTOR_BRIDGE_COMMAND_BLOCK_H

#include <cstddef>
#include <cstdint>

#include "collector/bridge/bridge_interface.h"
#include "layout/bridge_command_block.h"

namespace collector {

// The raw request block of the bridge library's raw command export; its
// fields are those of layout/bridge_command_block.h.
struct BridgeCommandBlock {
    static constexpr size_t kSize = bridge::kCommandBlockSize;
    uint8_t bytes[kSize];
};
static_assert(BridgeCommandBlock::kSize == layout::bridge_command_block::kSize, "one size of the block");
static_assert(sizeof(BridgeCommandBlock) == bridge::kCommandBlockSize, "the bridge reads the whole block");

// Clears the block and fills it with the request that ends the repository
// session `sessionHandle`: OEM network function 30h, command A2h.
void fillEndSessionBlock(BridgeCommandBlock& block, uint16_t sessionHandle);

}  // namespace collector

#endif
