#include "collector/bridge_command.h"

#include <cstdio>
#include <cstring>

#include "collector/agent_lifecycle.h"
#include "collector/bridge/bridge_interface.h"
#include "collector/command_context.h"
#include "collector/text.h"

namespace collector {

void setCommandFailed(char** errorText) { replaceText(errorText, newText(kCommandFailedText)); }

FunctionAddress resolveBridgeFunction(LibraryHandle library, const char* name) {
    return platformGetProcAddress(library, name != nullptr ? name : "");
}

BridgeReply callBridgeExport(const char* exportName, const char* notFoundFormat, const BridgeCall& call) {
    BridgeReply reply;
    reply.status = bridge::kStatusSuccess;
    const FunctionAddress function = resolveBridgeFunction(bridgeLibrary, exportName);
    if (function == nullptr) {
        std::fprintf(stderr, notFoundFormat, exportName);
        reply.status = bridge::kStatusUnresolved;
        return reply;
    }
    reply.response = call(function, &reply.length, &reply.status);
    return reply;
}

bool finishBridgeCommand(const char* exportName, const BridgeReply& reply) {
    if (reply.status == bridge::kStatusSuccess && reply.response != nullptr) {
        PMCommandContext& context = commandContext();
        // The length is one byte, so it always fits the 256-byte field.
        std::memcpy(context.responseData, reply.response, reply.length);
        context.responseLength = reply.length;
        return true;
    }
    std::fprintf(stderr, "In ProcessCommand: IPMI command: %s failed: status: %d", exportName, reply.status);
    return reply.status == bridge::kStatusNoNewData;
}

bool runBridgeCommand(const char* exportName, const char* notFoundFormat, const BridgeCall& call, int32_t* status) {
    const BridgeReply reply = callBridgeExport(exportName, notFoundFormat, call);
    if (status != nullptr) *status = reply.status;
    return finishBridgeCommand(exportName, reply);
}

}  // namespace collector
