#ifndef VELMORA_COLLECTOR_BRIDGE_COMMAND_H
#define VELMORA_COLLECTOR_BRIDGE_COMMAND_H

#include <cstdint>
#include <functional>

#include "collector/platform/platform.h"

// The common pattern of every controller command: resolve the export by name
// anew, call it, then keep its response in the current PMCommandContext or
// log the failure.
namespace collector {

// The error text of any failed controller command.
constexpr char kCommandFailedText[] = "IPMI Command failed";

// Releases *errorText and puts a new copy of kCommandFailedText there.
void setCommandFailed(char** errorText);

// The address of a bridge export, or null when the library handle is null,
// the name is empty or the library has no such export. Never cached.
FunctionAddress resolveBridgeFunction(LibraryHandle library, const char* name);

// What one call of a bridge export left behind.
struct BridgeReply {
    const uint8_t* response = nullptr;  // owned by the bridge library
    uint8_t length = 0;
    int32_t status = 0;
};

// Calls the resolved export: casts `function` to its type and passes the
// length and status slots on. Returns the export's response (or null).
using BridgeCall = std::function<const uint8_t*(FunctionAddress function, uint8_t* length, int32_t* status)>;

// Resolves `exportName` in the loaded bridge library and calls it. When it
// does not resolve, prints `notFoundFormat` with the name and the reply's
// status is -1; the call is not made.
BridgeReply callBridgeExport(const char* exportName, const char* notFoundFormat, const BridgeCall& call);

// After the call: a status of 0 with a response copies `length` bytes into
// the context and succeeds. Anything else writes the "In ProcessCommand" line
// (no line end); status 4096 then still succeeds, with the response the
// context already holds. True on success.
bool finishBridgeCommand(const char* exportName, const BridgeReply& reply);

// callBridgeExport, then finishBridgeCommand: the whole command. `status`,
// when given, receives the status the command ended with.
bool runBridgeCommand(const char* exportName, const char* notFoundFormat, const BridgeCall& call,
                      int32_t* status = nullptr);

}  // namespace collector

#endif
