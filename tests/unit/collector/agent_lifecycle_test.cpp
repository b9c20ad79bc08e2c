// Bringing the agent and the bridge library up and down, over a platform
// whose registry, current directory and script results are scripted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/agent_lifecycle.h"
#include "collector/platform/ruxa_agent.h"
#include "tests/unit/collector/fake_platform.h"
#include "tests/unit/support/captured_output.h"

namespace {

using Events = std::vector<std::string>;

struct LifecycleCase {
    const char* name;
    std::string registryValue;
    int installExit;
    bool libraryLoads;
    int uninstallExit;
    bool expectInitialized;
    Events expectedEvents;  // initializeRuxa, then releaseRuxa when it succeeded
    const char* expectedStderr;
};

class AgentLifecycleTest : public ::testing::TestWithParam<LifecycleCase> {};

TEST_P(AgentLifecycleTest, RunsScriptsAndLibraryInOrder) {
    const LifecycleCase& c = GetParam();
    FakePlatform platform;
    ScopedFakePlatform installed(platform);
    platform.registryValue = c.registryValue;
    platform.scriptExitCodes["install"] = c.installExit;
    platform.scriptExitCodes["uninstall"] = c.uninstallExit;
    platform.libraryLoads = c.libraryLoads;

    ::test_support::captureStderr();
    const bool initialized = collector::initializeRuxa();
    // The collection flow releases only what came up.
    if (initialized) collector::releaseRuxa();
    const std::string stderrText = ::test_support::capturedStderr();

    EXPECT_EQ(initialized, c.expectInitialized);
    EXPECT_EQ(platform.events, c.expectedEvents);
    EXPECT_EQ(stderrText, c.expectedStderr);
    EXPECT_EQ(collector::bridgeLibrary, nullptr) << "a freed library must not stay referenced";
    collector::bridgeLibrary = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Agent, AgentLifecycleTest,
    ::testing::Values(
        LifecycleCase{"alreadyInstalled", "1.0", 0, true, 0, true, Events{"load vexbmc32.dll", "free"}, ""},
        LifecycleCase{"installedNowAndRemovedAgain", "", 0, true, 0, true,
                      Events{"run install hidden", "load vexbmc32.dll", "free", "run uninstall hidden"}, ""},
        LifecycleCase{"installScriptFails", "", 3, true, 0, false, Events{"run install hidden"},
                      "InstallRuxa failed\n"},
        // The agent installed by this call stays installed.
        LifecycleCase{"libraryMissing", "", 0, false, 0, false, Events{"run install hidden", "load vexbmc32.dll"},
                      "Load ruxa library failed\n"},
        LifecycleCase{"libraryMissingWithAgentPresent", "1.0", 0, false, 0, false, Events{"load vexbmc32.dll"},
                      "Load ruxa library failed\n"},
        LifecycleCase{"uninstallScriptFails", "", 0, true, 1, true,
                      Events{"run install hidden", "load vexbmc32.dll", "free", "run uninstall hidden"},
                      "Unistall of ruxa failed\n"},
        // Still running after the wait reads as a failed start.
        LifecycleCase{"installStillRunning", "", 259, true, 0, false, Events{"run install hidden"},
                      "InstallRuxa failed\n"}),
    [](const ::testing::TestParamInfo<LifecycleCase>& info) { return std::string(info.param.name); });

TEST(AgentScript, IsTheQuotedScriptInTheCurrentDirectory) {
    FakePlatform platform;
    ScopedFakePlatform installed(platform);
    platform.directory = "C:\\Program Files\\quor tools";
    ASSERT_EQ(collector::platformInstallRuxa(), 0);
    ASSERT_EQ(collector::platformUninstallRuxa(), 0);
    EXPECT_EQ(platform.commandLines,
              (std::vector<std::string>{"\"C:\\Program Files\\quor tools\\ruxainst.bat\" install",
                                        "\"C:\\Program Files\\quor tools\\ruxainst.bat\" uninstall"}));
}

TEST(AgentScript, AgentPresentBeforeInstallIsNeverUninstalled) {
    FakePlatform platform;
    ScopedFakePlatform installed(platform);
    platform.registryValue = "1.0";
    ASSERT_EQ(collector::platformInstallRuxa(), 0);
    // Even if the value is gone by the end of the call.
    platform.registryValue.clear();
    ASSERT_EQ(collector::platformUninstallRuxa(), 0);
    EXPECT_TRUE(platform.commandLines.empty());
}

TEST(AgentScript, DirectoryTooLongForTheCommandLineFailsWithoutRunning) {
    // The command line adds 2 quotes, a backslash, "ruxainst.bat" and " install".
    const size_t overhead = std::string("\"\\ruxainst.bat\" install").size();
    struct Case {
        size_t directoryLength;
        int expectedInstall;
        size_t expectedRuns;
    };
    for (const Case& c : {Case{collector::kMaxRuxaCommandLine - overhead, 0, 1},
                          Case{collector::kMaxRuxaCommandLine - overhead + 1, 1, 0}}) {
        FakePlatform platform;
        ScopedFakePlatform installed(platform);
        platform.directory = "C:\\" + std::string(c.directoryLength - 3, 'd');
        EXPECT_EQ(collector::platformInstallRuxa(), c.expectedInstall) << c.directoryLength;
        EXPECT_EQ(platform.commandLines.size(), c.expectedRuns) << c.directoryLength;
        if (!platform.commandLines.empty()) {
            EXPECT_EQ(platform.commandLines[0].size(), collector::kMaxRuxaCommandLine);
        }
    }
}

TEST(AgentScript, UnreadableDirectoryFailsBothScripts) {
    FakePlatform platform;
    ScopedFakePlatform installed(platform);
    platform.directoryReadable = false;
    EXPECT_EQ(collector::platformInstallRuxa(), 1);
    EXPECT_EQ(collector::platformUninstallRuxa(), 1);
    EXPECT_TRUE(platform.commandLines.empty());
}

struct RegistryTextCase {
    const char* name;
    std::string bytes;
    std::string expected;
};

TEST(RegistryText, StopsAtTheFirstZeroAndAt259Characters) {
    const std::string long259(259, 'v');
    for (const RegistryTextCase& c : {
             RegistryTextCase{"terminated", std::string("1.0\0", 4), "1.0"},
             RegistryTextCase{"unterminated", "1.0", "1.0"},
             RegistryTextCase{"empty", "", ""},
             RegistryTextCase{"zeroFirst", std::string("\0abc", 4), ""},
             RegistryTextCase{"fills259", long259, long259},
             RegistryTextCase{"fills260WithoutZero", std::string(260, 'v'), long259},
             RegistryTextCase{"longerThanTheBuffer", std::string(400, 'v'), long259},
             RegistryTextCase{"zeroPastTheLimit", long259 + std::string("w\0", 2), long259},
         }) {
        EXPECT_EQ(collector::registryText(c.bytes.data(), c.bytes.size()), c.expected) << c.name;
    }
    EXPECT_EQ(collector::registryText(nullptr, 10), "");
}

}  // namespace
