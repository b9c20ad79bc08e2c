#ifndef VELMORA_COLLECTOR_PLATFORM_PLATFORM_POSIX_H
#define VELMORA_COLLECTOR_PLATFORM_PLATFORM_POSIX_H

#include "collector/platform/platform.h"

namespace collector {

// The platform services on POSIX systems. The agent and its registry exist
// only on Windows: here the agent can never be installed, so a collection
// reads as an initialization failure. Paths use '/'.
class PosixPlatformImpl : public IPlatformImpl {
public:
    int installRuxa() override;
    int uninstallRuxa() override;
    LibraryHandle loadLibrary(const std::string& fileName) override;
    void freeLibrary(LibraryHandle handle) override;
    FunctionAddress getProcAddress(LibraryHandle handle, const std::string& name) override;
    // The command line's first token (double quotes group blanks) names the
    // program, which is looked up on PATH; the rest are its arguments.
    int runProcess(const std::string& commandLine, bool show) override;
    void sleep(int32_t seconds) override;
    std::string getCurrentDirectory() override;
    std::vector<std::string> listDirectory(const std::string& directory) override;
};

// Splits a command line into arguments: blanks separate, double quotes group
// and are dropped.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

}  // namespace collector

#endif
