#ifndef VELMORA_TESTS_UNIT_COLLECTOR_FAKE_PLATFORM_H
#define VELMORA_TESTS_UNIT_COLLECTOR_FAKE_PLATFORM_H

#include <map>
#include <string>
#include <vector>

#include "collector/platform/platform.h"
#include "collector/platform/ruxa_agent.h"
#include "tests/unit/support/scoped_seam.h"

// A scripted platform: the agent's registry value, the current directory and
// the script's exit codes are set by the test, and the bridge library is the
// simulated controller linked into the test (its scenario says which exports
// are left out). Every operation is recorded in `events`.
class FakePlatform : public collector::IPlatformImpl {
public:
    std::string registryValue;               // empty: agent not installed
    std::string directory = "C:\\work dir";  // current directory for the script
    bool directoryReadable = true;
    std::map<std::string, int> scriptExitCodes;  // by verb; default 0
    bool libraryLoads = true;
    std::vector<std::string> events;
    std::vector<std::string> commandLines;

    int installRuxa() override { return collector::installRuxaWith(services()); }
    int uninstallRuxa() override { return collector::uninstallRuxaWith(services()); }

    collector::LibraryHandle loadLibrary(const std::string& fileName) override {
        events.push_back("load " + fileName);
        return libraryLoads ? static_cast<collector::LibraryHandle>(&libraryHandle) : nullptr;
    }
    void freeLibrary(collector::LibraryHandle handle) override {
        events.push_back(handle == &libraryHandle ? "free" : "free unknown handle");
    }
    collector::FunctionAddress getProcAddress(collector::LibraryHandle handle, const std::string& name) override;

    int runProcess(const std::string& commandLine, bool show) override {
        commandLines.push_back(commandLine);
        const std::string verb = commandLine.substr(commandLine.rfind(' ') + 1);
        events.push_back("run " + verb + (show ? " shown" : " hidden"));
        const auto code = scriptExitCodes.find(verb);
        return code != scriptExitCodes.end() ? code->second : 0;
    }
    void sleep(int32_t) override {}
    std::string getCurrentDirectory() override { return directory + "\\"; }
    std::vector<std::string> listDirectory(const std::string&) override { return {}; }

private:
    collector::RuxaAgentServices services() {
        collector::RuxaAgentServices result;
        result.isRuxaInstalled = [this] { return !registryValue.empty(); };
        result.currentDirectory = [this](std::string* out) {
            if (!directoryReadable) return false;
            *out = directory;
            return true;
        };
        result.runProcess = [this](const std::string& line, bool show) { return runProcess(line, show); };
        return result;
    }
    int libraryHandle = 0;
};

// Installs a FakePlatform as the process's platform for one test.
class ScopedFakePlatform : public test_support::ScopedSeam<collector::IPlatformImpl*> {
public:
    explicit ScopedFakePlatform(FakePlatform& platform) : ScopedSeam(collector::setPlatformForTesting, &platform) {}
};

#endif
