#include "collector/oem_queries.h"

#include <cstring>
#include <string>

#include "collector/bridge/bridge_interface.h"
#include "collector/bridge_command.h"
#include "collector/command_context.h"
#include "collector/text.h"

namespace collector {

namespace {

// Runs one of the three PM queries: (0, 1000, &length, &status). Prints
// `notFoundFormat` with the name when the export does not resolve. True on
// success; `status` receives the status the command ended with.
bool runPMQuery(const char* exportName, const char* notFoundFormat, int32_t* status) {
    return runBridgeCommand(
        exportName, notFoundFormat,
        [](FunctionAddress function, uint8_t* length, int32_t* callStatus) -> const uint8_t* {
            return reinterpret_cast<VexbmcPMQueryFunction>(function)(bridge::kChannel, bridge::kTimeout, length,
                                                                     callStatus);
        },
        status);
}

// The name a successful brand query holds: the response read as a text from
// its first byte, within the bytes received. A response without a zero byte
// yields all of them, never what lies beyond.
std::string responseText() {
    const PMCommandContext& context = commandContext();
    size_t limit = context.responseLength > 0 ? static_cast<size_t>(context.responseLength) : 0;
    if (limit > sizeof context.responseData) limit = sizeof context.responseData;
    const char* data = reinterpret_cast<const char*>(context.responseData);
    return std::string(data, strnlen(data, limit));
}

bool queryName(const char* exportName, const char* notFoundFormat, char** name, char** errorText) {
    std::string text;
    int32_t status = 0;
    if (runPMQuery(exportName, notFoundFormat, &status)) text = responseText();
    *name = newText(text.c_str());
    if (!text.empty()) return true;
    setCommandFailed(errorText);
    return false;
}

}  // namespace

int queryPMStatus(char** errorText) {
    int32_t status = 0;
    // This query's not-found text has a blank where the others have "=".
    if (runPMQuery(bridge::kGetStatus, "failed to get function %s\n", &status)) {
        // The mode is the second response byte, a signed 8-bit value.
        return static_cast<int8_t>(commandContext().responseData[1]);
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
        setCommandFailed(errorText);
        return -1;
    }
}

bool queryBrandName(char** name, char** errorText) {
    return queryName(bridge::kGetReBrand, "failed to get function=%s\n", name, errorText);
}

// The not-found message of this query has no line end.
bool queryDefaultBrandName(char** name, char** errorText) {
    return queryName(bridge::kGetDefaultBrand, "failed to get function=%s", name, errorText);
}

}  // namespace collector
