#ifndef VELMORA_COLLECTOR_PLATFORM_RUXA_AGENT_H
#define VELMORA_COLLECTOR_PLATFORM_RUXA_AGENT_H

#include <cstddef>
#include <functional>
#include <string>

#include "collector/platform/platform.h"

// The hardware-access agent Ruxa: how its presence is read and how its script
// is run. The Windows platform runs these over the registry and CreateProcess;
// tests run them over scripted services.
namespace collector {

// Set by every installRuxa: the agent was already installed when it began.
// Process-wide; the uninstall leaves an agent alone that it did not install.
extern bool ruxaWasPresent;

// Where the agent marks itself as installed (under HKEY_LOCAL_MACHINE).
extern const char kRuxaRegistryKey[];
extern const char kRuxaRegistryValue[];

// Longest command line the agent's script is started with, and the longest
// current directory read for it.
constexpr size_t kMaxRuxaCommandLine = 2047;

// Registry texts are read into a path-sized buffer: at most 259 characters.
constexpr size_t kMaxRegistryText = kPathBufferSize - 1;

// The text a registry read yields from the bytes it delivered: up to the first
// zero byte, at most kMaxRegistryText characters, whatever the value's size
// or type. Plain code so it is testable on every platform.
std::string registryText(const char* data, size_t size);

// The quoted script path in `directory` followed by the verb:
// "<directory>\ruxainst.bat" install. False (and nothing built) when the
// command line would exceed kMaxRuxaCommandLine: a truncated one would name
// another program.
bool buildRuxaCommandLine(const std::string& directory, const char* verb, std::string* commandLine);

// What the agent operations need of their platform.
struct RuxaAgentServices {
    // True when the registry marks the agent as installed.
    std::function<bool()> isRuxaInstalled;
    // The current directory without a trailing separator; false when it
    // cannot be read or is longer than kMaxRuxaCommandLine characters.
    std::function<bool(std::string*)> currentDirectory;
    // As IPlatformImpl::runProcess.
    std::function<int(const std::string&, bool)> runProcess;
};

int installRuxaWith(const RuxaAgentServices& services);
int uninstallRuxaWith(const RuxaAgentServices& services);

}  // namespace collector

#endif
