// What the staging commands do in the system's command interpreter. The
// command texts are the product's own: stagePMFiles runs over a recording
// command runner and a scripted "SECUPD" drive, and each recorded text is then
// run for real with the C runtime's system(), against a repository folder
// mapped as that drive.
//
// Here the texts run without their redirection tail " 1>2>C:\pm.log":
// Wine's cmd.exe rejects that tail ("Invalid name.") and then runs nothing,
// while the Windows command interpreter accepts it and sends each command's
// output to C:\pm.log, which the last command deletes. The end-to-end
// scenarios run the texts with their tail, through a command-interpreter
// adapter that applies it as Windows does; this test shows in detail what
// the commands themselves do.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "collector/command_context.h"
#include "collector/repository_copy.h"
#include "collector/system_services.h"
#include "tests/e2e/wine_drive_win.h"
#include "tests/unit/collector/fake_system_services.h"
#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"
#include "tests/unit/support/files.h"

namespace {

const char kTail[] = " 1>2>C:\\pm.log";
const char kVolume[] = "C:\\velmora-secupd-volume";
const char kLog[] = "C:\\pm.log";
constexpr char kDrive = 'S';

using test_support::readFile;
using test_support::writeFile;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Removes a folder with everything in it; the test's own clean-up.
void removeTree(const std::string& path) {
    if (!exists(path)) return;
    std::system(("rmdir /s /q \"" + path + "\"").c_str());
}

// Entries of a folder, sorted, folders ending in "/", recursively.
void listInto(const std::string& folder, const std::string& prefix, std::vector<std::string>& entries) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries.push_back(prefix + name + "/");
            listInto(folder + "\\" + name, prefix + name + "/", entries);
        } else {
            entries.push_back(prefix + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> entries;
    listInto(folder, "", entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

class StagingCommandsTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        hostVolume = wine_drive::hostPathOf(kVolume);
        if (hostVolume.empty()) GTEST_SKIP() << "runs only under Wine";
        removeTree(kVolume);
        removeTree("C:\\quor");
        // The repository: per requester folder files, a nested empty folder
        // and an empty folder.
        ASSERT_TRUE(CreateDirectoryA(kVolume, nullptr));
        for (const char* name : collector::requesterFolders) {
            const std::string folder = std::string(kVolume) + "\\" + name;
            for (const char* sub : {"", "\\images", "\\images\\archive", "\\empty"})
                ASSERT_TRUE(CreateDirectoryA((folder + sub).c_str(), nullptr)) << folder + sub;
            for (const char* file : {"logo.gif", "branding.xml", "images\\banner.jpg", "images\\splash.png"})
                writeFile(folder + "\\" + file, std::string(name) + " " + file);
        }
        wine_drive::unmapDrive(kDrive);
        ASSERT_EQ(wine_drive::mapFolder(kDrive, hostVolume.c_str()), 0u);

        systemSeam.emplace(collector::setSystemServicesForTesting, &recorder);
        recorder.drives = {{"S:\\", true, "SECUPD"}};
    }
    void TearDown() override {
        systemSeam.reset();
        if (hostVolume.empty()) return;
        wine_drive::unmapDrive(kDrive);
        removeTree(kVolume);
        removeTree("C:\\quor");
        DeleteFileA(kLog);
    }

    // The product's command texts for `requesterId`, and its target.
    std::vector<std::string> recordedCommands(int requesterId, std::string& target) {
        collector::beginCommandContext()->requesterId = requesterId;
        char source[260] = {};
        char location[260] = {};
        ::test_support::captureStderr();
        const int staged = collector::stagePMFiles(source, location);
        ::test_support::capturedStderr();
        EXPECT_EQ(staged, 1);
        target = location;
        return recorder.commands;
    }

    static int runWithoutTail(std::string command) {
        const std::string tail = kTail;
        if (command.size() >= tail.size() && command.compare(command.size() - tail.size(), tail.size(), tail) == 0)
            command.erase(command.size() - tail.size());
        return std::system(command.c_str());
    }

    std::string hostVolume;
    testing_support::FakeSystemServices recorder;
    std::optional<test_support::ScopedSeam<collector::SystemServices*>> systemSeam;
};

TEST_P(StagingCommandsTest, MakeDeleteCopyAndRemoveTheLog) {
    const int requesterId = GetParam();
    std::string target;
    const std::vector<std::string> commands = recordedCommands(requesterId, target);
    ASSERT_EQ(commands.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_GE(commands[i].size(), sizeof kTail - 1);
        EXPECT_EQ(commands[i].substr(commands[i].size() - (sizeof kTail - 1)), kTail) << commands[i];
    }
    const std::string folder = requesterId == 6 ? "C:\\quor\\vix\\customization\\etc\\images" : "C:\\quor\\qep";

    // mkdir makes the whole path, mixed slashes and all.
    EXPECT_EQ(runWithoutTail(commands[0]), 0) << commands[0];
    ASSERT_TRUE(isFolder(folder)) << target;

    // del takes exactly the five masks, in either case of the extension;
    // other files and subfolders stay. (A longer extension that begins with a
    // mask's three letters, such as .xmlx, goes too: the interpreter matches
    // three-letter masks against the short 8.3 names as well.)
    for (const char* old :
         {"a.jpg", "b.JPG", "c.png", "d.gif", "e.xml", "f.Png", "keep.txt", "keep.jpeg", "keep.gif.bak"})
        writeFile(folder + "\\" + old, "old");
    ASSERT_TRUE(CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
    writeFile(folder + "\\sub\\old.jpg", "old");
    runWithoutTail(commands[1]);
    EXPECT_EQ(listing(folder),
              (std::vector<std::string>{"keep.gif.bak", "keep.jpeg", "keep.txt", "sub/", "sub/old.jpg"}))
        << commands[1];

    // xcopy copies the requester's folder with its subfolders, empty ones
    // included, into the target taken as a folder.
    runWithoutTail(commands[2]);
    EXPECT_EQ(listing(folder), (std::vector<std::string>{"branding.xml", "empty/", "images/", "images/archive/",
                                                         "images/banner.jpg", "images/splash.png", "keep.gif.bak",
                                                         "keep.jpeg", "keep.txt", "logo.gif", "sub/", "sub/old.jpg"}))
        << commands[2];
    const std::string repositoryFolder = collector::requesterFolder(requesterId);
    EXPECT_EQ(readFile(folder + "\\logo.gif"), repositoryFolder + " logo.gif");

    // The last command has no tail and deletes the log.
    writeFile(kLog, "log");
    EXPECT_EQ(commands[3], "del /F \"C:\\pm.log\"");
    runWithoutTail(commands[3]);
    EXPECT_FALSE(exists(kLog));
}

// The system services the staging commands run under, for real: what the
// command interpreter started by system() sees of the environment and of
// standard input.
TEST(StagingServices, CommandsSeeTheEnvironmentThatIsSetAndNothingElse) {
    collector::SystemServices& services = collector::platformSystemServices();
    const std::string out = "C:\\velmora-staging-env.txt";
    std::string value;
    ASSERT_FALSE(services.environmentValue("VELMORA_TEST_VALUE", value));
    services.setEnvironmentValue("VELMORA_TEST_VALUE", "/Y");
    EXPECT_TRUE(services.environmentValue("VELMORA_TEST_VALUE", value));
    EXPECT_EQ(value, "/Y");
    services.runCommand(("echo [%VELMORA_TEST_VALUE%]>" + out).c_str());
    EXPECT_EQ(readFile(out), "[/Y]\r\n");

    services.setEnvironmentValue("VELMORA_TEST_VALUE", "");
    EXPECT_TRUE(services.environmentValue("VELMORA_TEST_VALUE", value));
    EXPECT_EQ(value, "");
    services.setEnvironmentValue("VELMORA_TEST_VALUE", nullptr);
    EXPECT_FALSE(services.environmentValue("VELMORA_TEST_VALUE", value));
    EXPECT_EQ(std::getenv("VELMORA_TEST_VALUE"), nullptr);
    services.runCommand(("echo [%VELMORA_TEST_VALUE%]>" + out).c_str());
    EXPECT_EQ(readFile(out), "[%VELMORA_TEST_VALUE%]\r\n");
    DeleteFileA(out.c_str());
}

TEST(StagingServices, DetachedInputEndsAPromptAtOnceAndComesBack) {
    // Standard input is a pipe whose writer stays open: a prompt reading it
    // would wait for ever.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inheritable, 0));
    SetHandleInformation(writer, HANDLE_FLAG_INHERIT, 0);
    const HANDLE callers = GetStdHandle(STD_INPUT_HANDLE);
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, reader));

    collector::SystemServices& services = collector::platformSystemServices();
    ASSERT_TRUE(services.detachStandardInput());
    EXPECT_NE(GetStdHandle(STD_INPUT_HANDLE), reader);
    const std::string out = "C:\\velmora-staging-input.txt";
    services.runCommand(("set /p answer=& echo done>" + out).c_str());
    services.reattachStandardInput();
    EXPECT_EQ(readFile(out), "done\r\n");
    EXPECT_EQ(GetStdHandle(STD_INPUT_HANDLE), reader);

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer, "yes\r\n", 5, &written, nullptr));
    char answer[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(GetStdHandle(STD_INPUT_HANDLE), answer, sizeof answer - 1, &read, nullptr));
    EXPECT_STREQ(answer, "yes\r\n");

    SetStdHandle(STD_INPUT_HANDLE, callers);
    CloseHandle(writer);
    CloseHandle(reader);
    DeleteFileA(out.c_str());
}

INSTANTIATE_TEST_SUITE_P(Requesters, StagingCommandsTest, ::testing::Values(6, 7),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "requester" + std::to_string(info.param);
                         });

}  // namespace
