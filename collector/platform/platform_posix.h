#ifndef VELMORA_COLLECTOR_PLATFORM_PLATFORM_POSIX_H
#define VELMORA_COLLECTOR_PLATFORM_PLATFORM_POSIX_H

#include "collector/platform/platform.h"

namespace collector {

// The platform services on POSIX systems. The agent and its registry exist
// only on Windows: here the agent can never be installed, so a collection
// reads as an initialization failure. Paths use '/'. runProcess: the command
// line's first token (double quotes group blanks) names the program, which is
// looked up on PATH; the rest are its arguments.
class PosixPlatformImpl : public IPlatformImpl {
public:
    VELMORA_PLATFORM_OVERRIDES
};

// Splits a command line into arguments: blanks separate, double quotes group
// and are dropped.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

}  // namespace collector

#endif
