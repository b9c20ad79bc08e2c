#include "collector/platform/ruxa_agent.h"

#include <cstring>

namespace collector {

bool ruxaWasPresent = false;

const char kRuxaRegistryKey[] = "SOFTWARE\\Quor Computer Corporation\\QuorRuxa\\CurrentVersion";
const char kRuxaRegistryValue[] = "Version";

std::string registryText(const char* data, size_t size) {
    if (data == nullptr) return std::string();
    const size_t limit = size < kMaxRegistryText ? size : kMaxRegistryText;
    const void* zero = std::memchr(data, '\0', limit);
    const size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - data) : limit;
    return std::string(data, length);
}

bool buildRuxaCommandLine(const std::string& directory, const char* verb, std::string* commandLine) {
    std::string built = "\"" + directory + "\\ruxainst.bat\" " + verb;
    if (built.size() > kMaxRuxaCommandLine) return false;
    *commandLine = std::move(built);
    return true;
}

namespace {

// Runs the script with `verb`, window hidden: 0 on a clean exit, else 1.
int runRuxaScript(const RuxaAgentServices& services, const char* verb) {
    std::string directory;
    std::string commandLine;
    if (!services.currentDirectory(&directory)) return 1;
    if (!buildRuxaCommandLine(directory, verb, &commandLine)) return 1;
    return services.runProcess(commandLine, false) != 0 ? 1 : 0;
}

}  // namespace

int installRuxaWith(const RuxaAgentServices& services) {
    ruxaWasPresent = services.isRuxaInstalled();
    if (ruxaWasPresent) return 0;
    return runRuxaScript(services, "install");
}

int uninstallRuxaWith(const RuxaAgentServices& services) {
    if (ruxaWasPresent) return 0;
    return runRuxaScript(services, "uninstall");
}

}  // namespace collector
