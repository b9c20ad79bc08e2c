#include "collector/bridge_command_block.h"

#include <cstring>

#include "layout/little_endian.h"

namespace collector {

void fillEndSessionBlock(BridgeCommandBlock& block, uint16_t sessionHandle) {
    namespace field = layout::bridge_command_block;
    std::memset(block.bytes, 0, sizeof block.bytes);
    layout::write32(block.bytes, field::kFixedValue, 11);
    layout::write16(block.bytes, field::kResponderAddress, 0x20);  // the controller
    layout::write32(block.bytes, field::kRequestLength, 7);
    layout::write32(block.bytes, field::kResponseLength, 5);
    block.bytes[field::kRequest] = 0xC0;  // network function 30h (OEM) shifted left by two, LUN 0
    block.bytes[field::kCommand] = 0xA2;  // end repository session
    block.bytes[field::kFirstData] = 0x01;
    layout::write16(block.bytes, field::kSessionHandle, sessionHandle);
}

}  // namespace collector
