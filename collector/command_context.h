#ifndef VELMORA_COLLECTOR_COMMAND_CONTEXT_H
#define VELMORA_COLLECTOR_COMMAND_CONTEXT_H

#include <cstdint>

namespace collector {

// The per-call working record of the collector: the last OEM command
// response, the requester id and the repository session handle. Each export
// call makes a new one current; the OEM queries and the secure-update
// retrieval reach it through currentCommandContext().
struct PMCommandContext {
    int32_t responseLength;     // bytes of the last response copied in (0 to 255)
    uint8_t responseData[256];  // the last response, from its first byte
    int32_t requesterId;        // the id given to getPMInfo
    uint16_t sessionHandle;     // repository session handle of the secure update
};

// Replaces the current context by a new, value-initialised (all zero) one and
// returns it. Zeroing means a status 4096 on a call's first command reads
// zeros instead of stale memory. The previous context is released.
PMCommandContext* beginCommandContext();

// The current context; null before the first export call.
PMCommandContext* currentCommandContext();

// The current context for the steps that work in it. The exports always begin
// one; a step run on its own (as in tests) gets a fresh one.
PMCommandContext& commandContext();

}  // namespace collector

#endif
