// Windows implementation of the staging calls: Win32 shell only.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "tool/shell_operations.h"

namespace pmquery {

namespace {

// FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR: no progress display,
// replace without asking, create a missing target without asking.
constexpr FILEOP_FLAGS kCopyFlags = 0x214;
static_assert((FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR) == kCopyFlags, "copy flags");

// The shell takes lists of paths, each ended by a NUL and the list by a second one.
std::vector<char> singlePathList(const std::string& path) {
    std::vector<char> list(path.begin(), path.end());
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

class WindowsShellOperations final : public ShellOperations {
public:
    std::string currentDirectory() override {
        char buffer[kPathBufferSize] = {};
        const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
        if (length == 0 || length >= sizeof buffer) return std::string();
        return std::string(buffer, length);
    }

    int createDirectory(const std::string& folder) override {
        return SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    }

    int copyFiles(const std::string& source, const std::string& target) override {
        std::vector<char> from = singlePathList(source);
        std::vector<char> to = singlePathList(target);
        SHFILEOPSTRUCTA operation = {};
        operation.hwnd = nullptr;
        operation.wFunc = FO_COPY;
        operation.pFrom = from.data();
        operation.pTo = to.data();
        operation.fFlags = kCopyFlags;
        return SHFileOperationA(&operation);
    }
};

}  // namespace

ShellOperations& platformShellOperations() {
    static WindowsShellOperations operations;
    return operations;
}

}  // namespace pmquery
