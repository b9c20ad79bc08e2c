#include "collector/bridge_command_block.h"

#include <cstring>

namespace collector {

namespace {

void putLittleEndian(uint8_t* at, uint32_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void fillEndSessionBlock(BridgeCommandBlock& block, uint16_t sessionHandle) {
    std::memset(block.bytes, 0, sizeof block.bytes);
    uint8_t* b = block.bytes;
    putLittleEndian(b + 16, 11, 4);
    putLittleEndian(b + 20, 0x20, 2);  // responder address of the controller
    putLittleEndian(b + BridgeCommandBlock::kRequestLengthOffset, 7, 4);
    putLittleEndian(b + BridgeCommandBlock::kResponseLengthOffset, 5, 4);
    b[32] = 0xC0;  // network function 30h (OEM) shifted left by two, LUN 0
    b[33] = 0xA2;  // end repository session
    b[34] = 0x01;
    putLittleEndian(b + 35, sessionHandle, 2);
}

}  // namespace collector
