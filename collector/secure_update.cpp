#include "collector/secure_update.h"

#include <cstdint>
#include <cstdio>

#include "collector/bridge/bridge_interface.h"
#include "collector/bridge_command.h"
#include "collector/bridge_command_block.h"
#include "collector/command_context.h"
#include "collector/repository_copy.h"
#include "layout/little_endian.h"

namespace collector {

namespace {

// The raw command block is process-wide, as the bridge writes its response
// into it; it is cleared and filled anew for every call.
BridgeCommandBlock endSessionBlock;

// The controller's answer to the secure-update request carries the
// repository session handle here, low byte first.
constexpr size_t kSessionHandleInResponse = 2;

// The requester id as the bridge takes it: its low 8 bits, zero-extended.
int32_t requesterArgument() { return commandContext().requesterId & 0xFF; }

// Asks the controller to present the repository. True on success (or status
// 4096, with the response already held).
bool requestSecureUpdate() {
    return runBridgeCommand(bridge::kGetSecureUpdatePmData, "failed to get function=%s\n",
                            [](FunctionAddress function, uint8_t* length, int32_t* status) -> const uint8_t* {
                                return reinterpret_cast<VexbmcGetSecureUpdatePmDataFunction>(function)(
                                    bridge::kChannel, requesterArgument(), bridge::kSecureUpdateKind, 0, 0,
                                    bridge::kTimeout, length, status);
                            });
}

// Ends the secure update; its status is only logged, with no "In
// ProcessCommand" line.
void endSecureUpdate(uint16_t sessionHandle) {
    const BridgeReply reply = callBridgeExport(
        bridge::kEndSecureUpdate, "failed to get function=%s\n",
        [sessionHandle](FunctionAddress function, uint8_t* length, int32_t* status) -> const uint8_t* {
            return reinterpret_cast<VexbmcEndSecureUpdateFunction>(function)(
                bridge::kChannel, requesterArgument(), 0, sessionHandle, bridge::kTimeout, length, status);
        });
    std::fprintf(stderr, "DEBUG:VEXBMCOEMVesulEndSecureUpdate vesulhandle:%hd Status:%d\n",
                 static_cast<short>(sessionHandle), reply.status);
}

// Ends the repository session with the raw command. False when the raw
// command export is missing. The raw command's own result is not used: the
// end-session status comes back inside the block.
bool endRepositorySession(uint16_t sessionHandle) {
    const BridgeReply reply = callBridgeExport(
        bridge::kCommand, "failed to get function=%s",
        [sessionHandle](FunctionAddress function, uint8_t*, int32_t*) -> const uint8_t* {
            fillEndSessionBlock(endSessionBlock, sessionHandle);
            reinterpret_cast<VexbmcCommandFunction>(function)(endSessionBlock.bytes, endSessionBlock.bytes);
            return nullptr;
        });
    if (reply.status == bridge::kStatusUnresolved) {
        finishBridgeCommand(bridge::kCommand, reply);  // the "In ProcessCommand" line with -1
        return false;
    }
    std::fprintf(stderr, "DEBUG:EndSession Status:%d\n",
                 static_cast<unsigned>(endSessionBlock.bytes[layout::bridge_command_block::kFirstData]));
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
        setCommandFailed(errorText);
        return 0;
    }

    PMCommandContext& context = commandContext();
    const uint16_t sessionHandle = layout::read16(context.responseData, kSessionHandleInResponse);
    context.sessionHandle = sessionHandle;

    if (stagePMFiles(sourcePath, location) == 0) {
        std::fprintf(stderr, "Error during copy PM files\n");
        result = 0;
    }

    endSecureUpdate(sessionHandle);

    if (!endRepositorySession(sessionHandle)) {
        setCommandFailed(errorText);
        result = 0;
    }
    return result;
}

}  // namespace collector
