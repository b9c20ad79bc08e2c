#include <cstdint>
#include <cstdio>

#include "collector/agent_lifecycle.h"
#include "collector/bridge/bridge_interface.h"
#include "collector/bridge_command.h"
#include "collector/bridge_command_block.h"
#include "collector/collector_steps.h"
#include "collector/command_context.h"
#include "collector/repository_copy.h"
#include "collector/text.h"

namespace collector {

namespace {

constexpr size_t kPathBufferSize = 260;
const char kCommandFailed[] = "IPMI Command failed";

// The raw command block is process-wide, as the bridge writes its response
// into it; it is cleared and filled anew for every call.
BridgeCommandBlock endSessionBlock;

PMCommandContext& context() {
    PMCommandContext* current = currentCommandContext();
    return current != nullptr ? *current : *beginCommandContext();
}

// The requester id as the bridge takes it: its low 8 bits, zero-extended.
int32_t requesterArgument() { return context().requesterId & 0xFF; }

// Asks the controller to present the repository. True on success (or status
// 4096, with the response already held).
bool requestSecureUpdate() {
    const char* name = bridge::kGetSecureUpdatePmData;
    uint8_t length = 0;
    int32_t status = bridge::kStatusSuccess;
    const uint8_t* response = nullptr;
    auto request = reinterpret_cast<VexbmcGetSecureUpdatePmDataFunction>(resolveBridgeFunction(bridgeLibrary, name));
    if (request == nullptr) {
        std::fprintf(stderr, "failed to get function=%s\n", name);
        status = bridge::kStatusUnresolved;
    } else {
        response = request(bridge::kChannel, requesterArgument(), bridge::kSecureUpdateKind, 0, 0, bridge::kTimeout,
                           &length, &status);
    }
    return finishBridgeCommand(name, response, length, status);
}

// Ends the secure update; its status is only logged.
void endSecureUpdate(uint16_t sessionHandle) {
    const char* name = bridge::kEndSecureUpdate;
    int32_t status = bridge::kStatusSuccess;
    auto end = reinterpret_cast<VexbmcEndSecureUpdateFunction>(resolveBridgeFunction(bridgeLibrary, name));
    if (end == nullptr) {
        std::fprintf(stderr, "failed to get function=%s\n", name);
        status = bridge::kStatusUnresolved;
    } else {
        uint8_t length = 0;
        end(bridge::kChannel, requesterArgument(), 0, sessionHandle, bridge::kTimeout, &length, &status);
    }
    std::fprintf(stderr, "DEBUG:VEXBMCOEMVesulEndSecureUpdate vesulhandle:%hd Status:%d\n",
                 static_cast<short>(sessionHandle), status);
}

// Ends the repository session with the raw command. False when the raw
// command export is missing.
bool endRepositorySession(uint16_t sessionHandle) {
    const char* name = bridge::kCommand;
    auto command = reinterpret_cast<VexbmcCommandFunction>(resolveBridgeFunction(bridgeLibrary, name));
    if (command == nullptr) {
        std::fprintf(stderr, "failed to get function=%s", name);
        std::fprintf(stderr, "In ProcessCommand: IPMI command: %s failed: status: %d", name,
                     bridge::kStatusUnresolved);
        return false;
    }
    fillEndSessionBlock(endSessionBlock, sessionHandle);
    command(endSessionBlock.bytes, endSessionBlock.bytes);
    std::fprintf(stderr, "DEBUG:EndSession Status:%d\n",
                 static_cast<unsigned>(endSessionBlock.bytes[BridgeCommandBlock::kEndSessionStatusOffset]));
    return true;
}

}  // namespace

int retrieveSecureUpdateData(char** dataLocation, char** errorText) {
    int result = 1;
    char sourcePath[kPathBufferSize] = {};
    // Zero-filled: a failed request hands back an empty text, never stale bytes.
    char* location = new char[kPathBufferSize]();
    *dataLocation = location;

    if (!requestSecureUpdate()) {
        replaceText(errorText, newText(kCommandFailed));
        return 0;
    }

    const PMCommandContext& current = context();
    const uint16_t sessionHandle =
        static_cast<uint16_t>(current.responseData[2] | (current.responseData[3] << 8));
    context().sessionHandle = sessionHandle;

    if (stagePMFiles(sourcePath, location) == 0) {
        std::fprintf(stderr, "Error during copy PM files\n");
        result = 0;
    }

    endSecureUpdate(sessionHandle);

    if (!endRepositorySession(sessionHandle)) {
        replaceText(errorText, newText(kCommandFailed));
        result = 0;
    }
    return result;
}

}  // namespace collector
