#include <cstdio>
#include <cstring>
#include <string>

#include "collector/agent_lifecycle.h"
#include "collector/bridge/bridge_interface.h"
#include "collector/bridge_command.h"
#include "collector/collector_steps.h"
#include "collector/command_context.h"
#include "collector/text.h"

namespace collector {

namespace {

const char kCommandFailed[] = "IPMI Command failed";

PMCommandContext& context() {
    PMCommandContext* current = currentCommandContext();
    // The exports always begin a context; a query run on its own gets a fresh one.
    return current != nullptr ? *current : *beginCommandContext();
}

// Runs one of the three PM queries: (0, 1000, &length, &status). Prints
// `notFoundFormat` with the name when the export does not resolve. True on
// success; `finalStatus` receives the status the command ended with.
bool runPMQuery(const char* exportName, const char* notFoundFormat, int32_t* finalStatus) {
    uint8_t length = 0;
    int32_t status = bridge::kStatusSuccess;
    const uint8_t* response = nullptr;
    auto function = reinterpret_cast<VexbmcPMQueryFunction>(resolveBridgeFunction(bridgeLibrary, exportName));
    if (function == nullptr) {
        std::fprintf(stderr, notFoundFormat, exportName);
        status = bridge::kStatusUnresolved;
    } else {
        response = function(bridge::kChannel, bridge::kTimeout, &length, &status);
    }
    *finalStatus = status;
    return finishBridgeCommand(exportName, response, length, status);
}

// The name a successful brand query holds: the response read as a text from
// its first byte, within the bytes received. A response without a zero byte
// yields all of them, never what lies beyond.
std::string responseText() {
    const PMCommandContext& current = context();
    size_t limit = current.responseLength > 0 ? static_cast<size_t>(current.responseLength) : 0;
    if (limit > sizeof current.responseData) limit = sizeof current.responseData;
    const char* data = reinterpret_cast<const char*>(current.responseData);
    return std::string(data, strnlen(data, limit));
}

bool queryName(const char* exportName, const char* notFoundFormat, char** name, char** errorText) {
    std::string text;
    int32_t status = 0;
    if (runPMQuery(exportName, notFoundFormat, &status)) text = responseText();
    *name = newText(text.c_str());
    if (!text.empty()) return true;
    replaceText(errorText, newText(kCommandFailed));
    return false;
}

}  // namespace

FunctionAddress resolveBridgeFunction(LibraryHandle library, const char* name) {
    return platformGetProcAddress(library, name != nullptr ? name : "");
}

bool finishBridgeCommand(const char* exportName, const uint8_t* response, uint8_t length, int32_t status) {
    if (status == bridge::kStatusSuccess && response != nullptr) {
        PMCommandContext& current = context();
        // The length is one byte, so it always fits the 256-byte field.
        std::memcpy(current.responseData, response, length);
        current.responseLength = length;
        return true;
    }
    std::fprintf(stderr, "In ProcessCommand: IPMI command: %s failed: status: %d", exportName, status);
    return status == bridge::kStatusNoNewData;
}

int queryPMStatus(char** errorText) {
    int32_t status = 0;
    if (runPMQuery(bridge::kGetStatus, "failed to get function %s\n", &status)) {
        // The mode is the second response byte, a signed 8-bit value.
        return static_cast<int8_t>(context().responseData[1]);
    }
    switch (status) {
        case bridge::kStatusDefaultMode1:
        case bridge::kStatusDefaultMode2:
        case bridge::kStatusDefaultMode3:
        case bridge::kStatusDefaultMode4:
        case bridge::kStatusDefaultMode5:
            return 0;
        case bridge::kStatusDebrandMode:
            return 1;
        default:
            replaceText(errorText, newText(kCommandFailed));
            return -1;
    }
}

bool queryBrandName(char** name, char** errorText) {
    return queryName(bridge::kGetReBrand, "failed to get function=%s\n", name, errorText);
}

bool queryDefaultBrandName(char** name, char** errorText) {
    return queryName(bridge::kGetDefaultBrand, "failed to get function=%s", name, errorText);
}

}  // namespace collector
