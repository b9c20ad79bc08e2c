// The POSIX platform services for real: child processes, libraries and
// directory listings of this machine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "collector/platform/platform_posix.h"
#include "collector/pm_collector.h"
#include "collector/system_services.h"
#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"
#include "tests/unit/support/temp_path.h"

namespace {

void touch(const std::string& path) { std::ofstream(path) << "x"; }

bool exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

class PosixPlatformTest : public ::testing::Test {
protected:
    collector::PosixPlatformImpl platform;
};

TEST_F(PosixPlatformTest, RunProcessResults) {
    struct Case {
        const char* commandLine;
        int expected;
    };
    for (const Case& c : {
             Case{"sh -c \"exit 3\"", 3},
             Case{"true", 0},
             Case{"velmora-no-such-program-here", ENOENT},
             Case{"\"velmora no such program\" install", ENOENT},
             Case{"", ENOENT},
         }) {
        EXPECT_EQ(platform.runProcess(c.commandLine, false), c.expected) << c.commandLine;
    }
}

TEST_F(PosixPlatformTest, ChildOutlivingTheWaitIsLeftRunning) {
    const test_support::TempPath folder("platform");
    const std::string directory = folder.string();
    ASSERT_FALSE(directory.empty());
    const std::string marker = directory + "/finished";
    const test_support::ScopedSeam<uint32_t> wait{collector::setProcessWaitForTesting, 100};

    const auto started = std::chrono::steady_clock::now();
    const int result = platform.runProcess("sh -c \"sleep 1; touch '" + marker + "'\"", false);
    const auto waited = std::chrono::steady_clock::now() - started;

    EXPECT_EQ(result, collector::kProcessStillRunning);
    EXPECT_LT(waited, std::chrono::milliseconds(900));
    EXPECT_FALSE(exists(marker));
    // Not killed: the child finishes its work after the wait gave up.
    for (int i = 0; i < 100 && !exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(exists(marker));
}

TEST_F(PosixPlatformTest, ListDirectoryGivesFullPathsWithoutDotEntries) {
    const test_support::TempPath folder("platform");
    const std::string directory = folder.string();
    ASSERT_FALSE(directory.empty());
    touch(directory + "/a");
    touch(directory + "/.hidden");
    touch(directory + "/..b");
    ASSERT_EQ(mkdir((directory + "/c").c_str(), 0700), 0);

    std::vector<std::string> entries = platform.listDirectory(directory);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{directory + "/..b", directory + "/.hidden", directory + "/a",
                                                 directory + "/c"}));
    EXPECT_TRUE(platform.listDirectory(directory + "/missing").empty());

    // A trailing separator is not normalised away.
    for (const std::string& entry : platform.listDirectory(directory + "/")) {
        EXPECT_EQ(entry.compare(0, directory.size() + 2, directory + "//"), 0) << entry;
    }
}

TEST_F(PosixPlatformTest, EmptyDirectoryListsTheCurrentOne) {
    const test_support::TempPath folder("platform");
    const std::string directory = folder.string();
    ASSERT_FALSE(directory.empty());
    touch(directory + "/only");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(directory.c_str()), 0);
    const std::vector<std::string> entries = platform.listDirectory("");
    const std::string current = platform.getCurrentDirectory();
    ASSERT_EQ(chdir("/"), 0);
    const std::string root = platform.getCurrentDirectory();
    ASSERT_EQ(chdir(previous), 0);

    EXPECT_EQ(entries, std::vector<std::string>{"./only"});
    EXPECT_EQ(current.back(), '/');
    EXPECT_EQ(root, "//");
}

TEST_F(PosixPlatformTest, LibraryLookupRefusesNullHandleAndEmptyName) {
    EXPECT_EQ(platform.loadLibrary("velmora-no-such-library.so"), nullptr);
    collector::LibraryHandle self = platform.loadLibrary("libc.so.6");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(platform.getProcAddress(nullptr, "malloc"), nullptr);
    EXPECT_EQ(platform.getProcAddress(self, ""), nullptr);
    EXPECT_NE(platform.getProcAddress(self, "malloc"), nullptr);
    EXPECT_EQ(platform.getProcAddress(self, "velmora_no_such_symbol"), nullptr);
    platform.freeLibrary(self);
    platform.freeLibrary(nullptr);
}

TEST_F(PosixPlatformTest, AgentCannotBeInstalled) {
    EXPECT_EQ(platform.installRuxa(), 1);
    EXPECT_EQ(platform.uninstallRuxa(), 0);
}

// Without an agent on this platform a collection reads as the initialization failure.
TEST(PosixCollection, ReadsAsTheInitializationFailure) {
    PMInfo* info = nullptr;
    ::test_support::captureStderr();
    EXPECT_EQ(collector::getPMInfo(6, &info), 1);
    EXPECT_EQ(::test_support::capturedStderr(), "InstallRuxa failed\n");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->status, -1);
    EXPECT_STREQ(info->ipmiError, "RUXA Initialization failed");
    collector::freePMInfo(info);
}

// The system services that the staging commands run under: an environment
// change their interpreter sees, and a standard input that cannot block them.
class StagingServicesTest : public ::testing::Test {
protected:
    void SetUp() override { callersInput = dup(STDIN_FILENO); }
    void TearDown() override {
        if (callersInput >= 0) {
            dup2(callersInput, STDIN_FILENO);
            close(callersInput);
        }
        unsetenv("VELMORA_TEST_VALUE");
    }
    static std::string read(const std::string& path) {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    collector::SystemServices& services = collector::platformSystemServices();
    int callersInput = -1;
    test_support::TempPath folder{"staging-services"};
};

TEST_F(StagingServicesTest, EnvironmentIsSetForCommandsAndRemovedAgain) {
    std::string value;
    EXPECT_FALSE(services.environmentValue("VELMORA_TEST_VALUE", value));
    services.setEnvironmentValue("VELMORA_TEST_VALUE", "/Y");
    const std::string out = (folder.path() / "env").string();
    services.runCommand(("echo \"[$VELMORA_TEST_VALUE]\" > '" + out + "'").c_str());
    EXPECT_EQ(read(out), "[/Y]\n");
    services.setEnvironmentValue("VELMORA_TEST_VALUE", "");
    EXPECT_TRUE(services.environmentValue("VELMORA_TEST_VALUE", value));
    EXPECT_EQ(value, "");
    services.setEnvironmentValue("VELMORA_TEST_VALUE", nullptr);
    EXPECT_EQ(std::getenv("VELMORA_TEST_VALUE"), nullptr);
}

TEST_F(StagingServicesTest, DetachedInputGivesCommandsEndOfInputAndComesBack) {
    // Standard input is a pipe whose writer stays open: a command reading it
    // would wait for ever.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    ASSERT_EQ(dup2(pipeEnds[0], STDIN_FILENO), STDIN_FILENO);
    close(pipeEnds[0]);
    struct stat callers;
    ASSERT_EQ(fstat(STDIN_FILENO, &callers), 0);

    ASSERT_TRUE(services.detachStandardInput());
    const std::string out = (folder.path() / "read").string();
    services.runCommand(("read line; echo \"[$line] $?\" > '" + out + "'").c_str());
    EXPECT_EQ(read(out), "[] 1\n");
    services.reattachStandardInput();

    struct stat now;
    ASSERT_EQ(fstat(STDIN_FILENO, &now), 0);
    EXPECT_EQ(now.st_ino, callers.st_ino);
    ASSERT_EQ(write(pipeEnds[1], "answer\n", 7), 7);
    char answer[8] = {};
    EXPECT_EQ(::read(STDIN_FILENO, answer, sizeof answer - 1), 7);
    EXPECT_STREQ(answer, "answer\n");
    close(pipeEnds[1]);

    // A caller without standard input has none again afterwards.
    close(STDIN_FILENO);
    ASSERT_TRUE(services.detachStandardInput());
    EXPECT_EQ(fcntl(STDIN_FILENO, F_GETFD), 0);  // open and inheritable
    services.reattachStandardInput();
    EXPECT_EQ(fcntl(STDIN_FILENO, F_GETFD), -1);
}

TEST(SplitCommandLine, QuotesGroupBlanks) {
    EXPECT_EQ(collector::splitCommandLine("\"/a dir/ruxainst.bat\" install"),
              (std::vector<std::string>{"/a dir/ruxainst.bat", "install"}));
    EXPECT_EQ(collector::splitCommandLine("  one   two\t\"\" "), (std::vector<std::string>{"one", "two", ""}));
    EXPECT_TRUE(collector::splitCommandLine("   ").empty());
}

}  // namespace
