#include "collector/agent_lifecycle.h"

#include <cstdio>

#include "collector/bridge/bridge_interface.h"

namespace collector {

LibraryHandle bridgeLibrary = nullptr;

bool initializeRuxa() {
    if (platformInstallRuxa() != 0) {
        std::fprintf(stderr, "InstallRuxa failed\n");
        return false;
    }
    // An agent installed by this call stays installed when the library
    // does not load: releaseRuxa does not run on that path.
    bridgeLibrary = platformLoadLibrary(bridge::kLibraryFileName);
    if (bridgeLibrary == nullptr) {
        std::fprintf(stderr, "Load ruxa library failed\n");
        return false;
    }
    return true;
}

void releaseRuxa() {
    // The library goes before the agent it talks to.
    if (bridgeLibrary != nullptr) {
        platformFreeLibrary(bridgeLibrary);
        bridgeLibrary = nullptr;
    }
    // "Unistall" is the fixed text callers match; it is not to be corrected.
    if (platformUninstallRuxa() != 0) std::fprintf(stderr, "Unistall of ruxa failed\n");
}

}  // namespace collector
