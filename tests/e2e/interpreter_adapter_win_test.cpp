// The command-interpreter adapter run for real: the files each redirection
// form leaves, the exit codes it passes on, the commands it hands to cmd.exe
// untouched, and its launch mode.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/support/files.h"

namespace {

std::string adapterPath() {
    char self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, length);
    return path.substr(0, path.find_last_of('\\') + 1) + "comspec_adapter.exe";
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

using test_support::readFile;

class ComspecAdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder = std::string(temp) + "velmora-comspec-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        ASSERT_TRUE(CreateDirectoryA(in("existing").c_str(), nullptr));
    }
    void TearDown() override {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(in("*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(in(found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(in("existing").c_str());
        RemoveDirectoryA(folder.c_str());
    }

    std::string in(const std::string& name) const { return folder + "\\" + name; }

    // Runs the adapter with `arguments` in the test's folder, as the C
    // runtime names it: unquoted, its standard output and error into files.
    DWORD run(const std::string& arguments) {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        HANDLE output = CreateFileA(in("adapter.out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                    CREATE_ALWAYS, 0, nullptr);
        HANDLE error = CreateFileA(in("adapter.err").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                   CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output;
        startup.hStdError = error;
        PROCESS_INFORMATION process = {};
        std::string line = adapterPath() + " " + arguments;
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        DWORD exitCode = 0xFFFFFFFF;
        if (CreateProcessA(adapterPath().c_str(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                           &startup, &process)) {
            WaitForSingleObject(process.hProcess, 60000);
            GetExitCodeProcess(process.hProcess, &exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        CloseHandle(output);
        CloseHandle(error);
        stdoutText = readFile(in("adapter.out"));
        // Lines Wine itself writes ("wine: ...") depend on the host.
        stderrText.clear();
        const std::string written = readFile(in("adapter.err"));
        for (size_t start = 0, end; start < written.size(); start = end) {
            end = written.find('\n', start);
            end = end == std::string::npos ? written.size() : end + 1;
            if (written.compare(start, 6, "wine: ") != 0) stderrText += written.substr(start, end - start);
        }
        return exitCode;
    }

    std::string folder;
    std::string stdoutText;
    std::string stderrText;
};

TEST_F(ComspecAdapterTest, StagingTailLeavesAnEmptyFile2AndTheOutputInTheLast) {
    ASSERT_EQ(run("/c echo hello 1>2>out.log"), 0u) << stderrText;
    EXPECT_TRUE(exists(in("2")));
    EXPECT_EQ(readFile(in("2")), "");
    EXPECT_EQ(readFile(in("out.log")), "hello\r\n");
    EXPECT_EQ(stdoutText, "");

    // Each run truncates what it names again.
    ASSERT_EQ(run("/c echo again 1>2>out.log"), 0u);
    EXPECT_EQ(readFile(in("out.log")), "again\r\n");
}

TEST_F(ComspecAdapterTest, AppendsAndRedirectsStandardError) {
    run("/c echo one >>app.log");
    run("/c echo two>>app.log");
    EXPECT_EQ(readFile(in("app.log")), "one\r\ntwo\r\n");

    // Wine's mkdir reports an existing folder on standard error, with 1.
    EXPECT_EQ(run("/c mkdir existing 2>err.log"), 1u);
    EXPECT_NE(readFile(in("err.log")), "");
    EXPECT_EQ(stderrText, "");

    EXPECT_EQ(run("/c mkdir existing >both.log 2>&1"), 1u);
    EXPECT_EQ(readFile(in("both.log")), readFile(in("err.log")));
}

TEST_F(ComspecAdapterTest, PassesExitCodesAndUnreadCommandsOn) {
    EXPECT_EQ(run("/c exit 7"), 7u);
    EXPECT_EQ(run("/c exit 3 1>2>out.log"), 3u);

    // A redirection in the middle is cmd.exe's to apply; it keeps the blanks
    // on both sides of what it takes out.
    EXPECT_EQ(run("/c echo a >middle.log b"), 0u);
    EXPECT_EQ(readFile(in("middle.log")), "a  b\r\n");
    EXPECT_EQ(run("/C exit 5"), 5u);
}

TEST_F(ComspecAdapterTest, AFileThatCannotBeOpenedStopsTheCommand) {
    EXPECT_EQ(run("/c echo a >made.log >no\\such\\folder\\x.log"), 1u);
    EXPECT_NE(stderrText, "");
    EXPECT_TRUE(exists(in("made.log")));  // opened before the one that failed
    EXPECT_EQ(readFile(in("made.log")), "");
}

TEST_F(ComspecAdapterTest, LaunchesAProgramWithItselfAsComspec) {
    EXPECT_EQ(run("--launch cmd.exe /c echo %COMSPEC%>comspec.log"), 0u);
    EXPECT_EQ(readFile(in("comspec.log")), adapterPath() + "\r\n");
    EXPECT_EQ(run("--launch cmd.exe /c exit 9"), 9u);
    EXPECT_EQ(run("--launch no-such-program.exe"), 1u);
    EXPECT_NE(stderrText, "");
}

}  // namespace
