// CWindowsImpl for real, under Wine: child processes, the bridge library,
// directory listings, the current directory and the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "collector/bridge/bridge_interface.h"
#include "collector/platform/platform_win.h"
#include "tests/unit/support/scoped_seam.h"
#include "tests/unit/support/temp_path.h"
#include "tests/unit/support/files.h"

namespace {

using test_support::writeFile;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string programDirectory() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.rfind('\\'));
}

class WindowsPlatformTest : public ::testing::Test {
protected:
    collector::CWindowsImpl platform;
};

TEST_F(WindowsPlatformTest, RunProcessResults) {
    const test_support::TempPath folder("platform test");
    const std::string directory = folder.string();
    writeFile(directory + "\\exit3.bat", "@echo off\r\nexit /b 3\r\n");
    const std::string child = "\"" + programDirectory() + "\\platform_child.exe\"";
    struct Case {
        std::string commandLine;
        bool show;
        int expected;
    };
    for (const Case& c : {
             Case{"\"" + directory + "\\exit3.bat\" install", false, 3},
             Case{"\"" + directory + "\\no-such-program.exe\" install", false, ERROR_FILE_NOT_FOUND},
             // Only the show-window flag, with SW_HIDE or SW_SHOW.
             Case{child + " startup", false, 100 + SW_HIDE},
             Case{child + " startup", true, 100 + SW_SHOW},
         }) {
        EXPECT_EQ(platform.runProcess(c.commandLine, c.show), c.expected) << c.commandLine;
    }
}

TEST_F(WindowsPlatformTest, ChildOutlivingTheWaitIsLeftRunning) {
    const test_support::TempPath folder("platform wait");
    const std::string directory = folder.string();
    const std::string marker = directory + "\\finished";
    DeleteFileA(marker.c_str());
    const test_support::ScopedSeam<uint32_t> wait{collector::setProcessWaitForTesting, 200};

    const int result = platform.runProcess(
        "\"" + programDirectory() + "\\platform_child.exe\" sleep 1500 \"" + marker + "\"", false);

    EXPECT_EQ(result, collector::kProcessStillRunning);
    EXPECT_FALSE(exists(marker));
    for (int i = 0; i < 100 && !exists(marker); ++i) Sleep(50);
    EXPECT_TRUE(exists(marker)) << "the child was killed";
}

TEST_F(WindowsPlatformTest, ListDirectoryGivesFullPathsWithoutDotEntries) {
    const test_support::TempPath folder("listing");
    const std::string directory = folder.string();
    writeFile(directory + "\\a", "a");
    writeFile(directory + "\\b", "b");
    writeFile(directory + "\\..c", "c");
    CreateDirectoryA((directory + "\\d").c_str(), nullptr);

    std::vector<std::string> entries = platform.listDirectory(directory);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries,
              (std::vector<std::string>{directory + "\\..c", directory + "\\a", directory + "\\b", directory + "\\d"}));

    // A trailing backslash is doubled in every path, not normalised.
    entries = platform.listDirectory(directory + "\\");
    std::sort(entries.begin(), entries.end());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1], directory + "\\\\a");

    EXPECT_TRUE(platform.listDirectory(directory + "\\missing").empty());
}

TEST_F(WindowsPlatformTest, CurrentDirectoryListingAndDriveRoot) {
    const test_support::TempPath folder("current");
    const std::string directory = folder.string();
    writeFile(directory + "\\only", "x");
    char previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof previous, previous);

    ASSERT_TRUE(SetCurrentDirectoryA(directory.c_str()));
    const std::vector<std::string> entries = platform.listDirectory("");
    const std::string current = platform.getCurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    const std::string root = platform.getCurrentDirectory();
    SetCurrentDirectoryA(previous);

    EXPECT_EQ(entries, std::vector<std::string>{".\\only"});
    EXPECT_EQ(current, directory + "\\");
    EXPECT_EQ(root, "C:\\\\");
}

TEST_F(WindowsPlatformTest, BridgeLibraryExportsArePlainNames) {
    // The simulated bridge library beside this program.
    collector::LibraryHandle library = platform.loadLibrary(bridge::kLibraryFileName);
    ASSERT_NE(library, nullptr);
    for (const char* name : {bridge::kGetStatus, bridge::kGetReBrand, bridge::kGetDefaultBrand,
                             bridge::kGetSecureUpdatePmData, bridge::kEndSecureUpdate, bridge::kCommand}) {
        EXPECT_NE(platform.getProcAddress(library, name), nullptr) << name;
    }
    EXPECT_EQ(platform.getProcAddress(library, "VEXBMCOEMPMGetStatus@16"), nullptr);
    EXPECT_EQ(platform.getProcAddress(library, ""), nullptr);
    EXPECT_EQ(platform.getProcAddress(nullptr, bridge::kGetStatus), nullptr);
    platform.freeLibrary(library);
    platform.freeLibrary(nullptr);
    EXPECT_EQ(platform.loadLibrary("velmora-no-such-library.dll"), nullptr);
}

#if !defined(_WIN64)
// Only 32-bit Windows has more than one calling convention; the bridge
// library's exports are __stdcall there.

// Calls a function with 32-bit arguments pushed right to left and returns
// how many bytes of them the function itself removed from the stack: all
// of them for __stdcall, none for __cdecl.
int argumentBytesRemovedByCallee(void* function, const uint32_t* arguments, int count) {
    int moved = 0;
    asm volatile(
        "movl %%esp, %%esi\n\t"  // esi survives the call under either convention
        "movl %[count], %%ecx\n"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%[arguments],%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n"
        "2:\n\t"
        "call *%[function]\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%esi, %%eax\n\t"
        "movl %%esi, %%esp\n\t"
        : "=&a"(moved)
        : [function] "r"(function), [arguments] "r"(arguments), [count] "g"(count)
        : "ecx", "edx", "esi", "memory", "cc");
    return moved + 4 * count;
}

TEST_F(WindowsPlatformTest, BridgeExportsRemoveTheirOwnArguments) {
    collector::LibraryHandle library = platform.loadLibrary(bridge::kLibraryFileName);
    ASSERT_NE(library, nullptr);
    uint8_t length = 0;
    int32_t status = -2;
    uint8_t request[bridge::kCommandBlockSize] = {};
    uint8_t response[bridge::kCommandBlockSize] = {};
    const auto address = [](void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); };
    struct Case {
        const char* name;
        std::vector<uint32_t> arguments;
    };
    for (const Case& c : {
             Case{bridge::kGetStatus, {0, 1000, address(&length), address(&status)}},
             Case{bridge::kGetReBrand, {0, 1000, address(&length), address(&status)}},
             Case{bridge::kGetDefaultBrand, {0, 1000, address(&length), address(&status)}},
             Case{bridge::kGetSecureUpdatePmData, {0, 6, 250, 0, 0, 1000, address(&length), address(&status)}},
             Case{bridge::kEndSecureUpdate, {0, 6, 0, 0, 1000, address(&length), address(&status)}},
             Case{bridge::kCommand, {address(request), address(response)}},
         }) {
        void* function = reinterpret_cast<void*>(platform.getProcAddress(library, c.name));
        ASSERT_NE(function, nullptr) << c.name;
        EXPECT_EQ(argumentBytesRemovedByCallee(function, c.arguments.data(), static_cast<int>(c.arguments.size())),
                  static_cast<int>(4 * c.arguments.size()))
            << c.name;
    }
    platform.freeLibrary(library);
}
#endif

// A key of the tests' own, so the agent's key is left to the end-to-end scenarios.
const char kTestKey[] = "SOFTWARE\\Velmora Tests\\Registry";

// The key is made in both registry views: the process's own (the 32-bit
// view, WOW6432Node, for the 32-bit build) and the 64-bit one; for the 64-bit
// build they are the same key.
class RegistryTest : public WindowsPlatformTest {
protected:
    void SetUp() override {
        for (int view = 0; view < 2; ++view) {
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                                      KEY_SET_VALUE | (view ? KEY_WOW64_64KEY : 0), nullptr, &keys[view], nullptr),
                      ERROR_SUCCESS);
        }
    }
    void TearDown() override {
        for (int view = 0; view < 2; ++view) {
            RegCloseKey(keys[view]);
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestKey, view ? KEY_WOW64_64KEY : 0, 0);
        }
        WindowsPlatformTest::TearDown();
    }
    void set(const char* name, DWORD type, const std::string& bytes, bool onlyOwnView = false) {
        for (int view = 0; view < (onlyOwnView ? 1 : 2); ++view) {
            ASSERT_EQ(RegSetValueExA(keys[view], name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size())),
                      ERROR_SUCCESS);
        }
    }
    HKEY keys[2] = {nullptr, nullptr};
};

TEST_F(RegistryTest, ReadsAtMost259CharactersWhateverTheValueHolds) {
    const std::string long259(259, 'v');
    set("plain", REG_SZ, std::string("1.0\0", 4));
    set("empty", REG_SZ, std::string("\0", 1));
    set("fills259", REG_SZ, long259 + std::string("\0", 1));
    set("fills260", REG_BINARY, std::string(260, 'v'));
    set("longer", REG_SZ, std::string(400, 'v') + std::string("\0", 1));
    set("binaryWithZero", REG_BINARY, std::string("ab\0cd", 5));

    struct Case {
        const char* value;
        std::string expected;
    };
    for (const Case& c : {Case{"plain", "1.0"}, Case{"empty", ""}, Case{"fills259", long259}, Case{"fills260", long259},
                          Case{"longer", long259}, Case{"binaryWithZero", "ab"}, Case{"missing", ""}}) {
        EXPECT_EQ(platform.readRegistryString(kTestKey, c.value, false), c.expected) << c.value;
        EXPECT_EQ(platform.readRegistryString(kTestKey, c.value, true), c.expected) << c.value;
    }
    EXPECT_EQ(platform.readRegistryString("SOFTWARE\\Velmora Tests\\No Such Key", "plain", false), "");
}

TEST_F(RegistryTest, TheOwnViewIsTheProcesssOne) {
    set("own", REG_SZ, std::string("2.0\0", 4), true);

    EXPECT_EQ(platform.readRegistryString(kTestKey, "own", false), "2.0");
#ifdef _WIN64
    EXPECT_EQ(platform.readRegistryString(kTestKey, "own", true), "2.0");
#else
    // A 32-bit process on 64-bit Windows writes below WOW6432Node, which the
    // 64-bit view shows under that name only.
    EXPECT_EQ(platform.readRegistryString(kTestKey, "own", true), "");
    EXPECT_EQ(platform.readRegistryString("SOFTWARE\\WOW6432Node\\Velmora Tests\\Registry", "own", true), "2.0");
#endif
}

}  // namespace
