#ifndef VELMORA_COLLECTOR_BRIDGE_COMMAND_H
#define VELMORA_COLLECTOR_BRIDGE_COMMAND_H

#include <cstdint>

#include "collector/platform/platform.h"

// The common pattern of every controller command: resolve the export by name
// anew, call it, then keep its response in the current PMCommandContext or
// log the failure.
namespace collector {

// The address of a bridge export, or null when the library handle is null,
// the name is empty or the library has no such export. Never cached.
FunctionAddress resolveBridgeFunction(LibraryHandle library, const char* name);

// After the call: a status of 0 with a response copies `length` bytes into
// the context and succeeds. Anything else writes the "In ProcessCommand" line
// (no line end); status 4096 then still succeeds, with the response the
// context already holds. True on success.
bool finishBridgeCommand(const char* exportName, const uint8_t* response, uint8_t length, int32_t status);

}  // namespace collector

#endif
