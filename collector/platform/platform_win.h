#ifndef VELMORA_COLLECTOR_PLATFORM_PLATFORM_WIN_H
#define VELMORA_COLLECTOR_PLATFORM_PLATFORM_WIN_H

#include "collector/platform/platform.h"

namespace collector {

// The platform services on Windows. No data members: the agent's state is the
// process-wide ruxaWasPresent.
class CWindowsImpl : public IPlatformImpl {
public:
    VELMORA_PLATFORM_OVERRIDES

    // True when the agent's registry value holds a non-empty text.
    bool isRuxaInstalled();
    // The text of a value under HKEY_LOCAL_MACHINE, at most 259 characters;
    // empty when the key or value cannot be read.
    std::string readRegistryString(const std::string& subKey, const std::string& valueName, bool use64BitView);
};

}  // namespace collector

#endif
