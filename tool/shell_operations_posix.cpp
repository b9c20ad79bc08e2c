// POSIX implementation of the staging calls, so the tool runs natively.
// Backslashes are taken as folder separators, as on Windows; a drive prefix
// such as "C:" simply becomes a folder below the current directory.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>

#include "tool/shell_operations.h"

namespace pmquery {

namespace {

namespace fs = std::filesystem;

fs::path toPosixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return fs::path(path);
}

// Copies one entry into `targetFolder`, folders with their contents.
void copyEntryInto(const fs::path& entry, const fs::path& targetFolder, std::error_code& error) {
    const fs::path destination = targetFolder / entry.filename();
    if (fs::is_directory(entry, error)) {
        fs::copy(entry, destination, fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
    } else {
        fs::copy_file(entry, destination, fs::copy_options::overwrite_existing, error);
    }
}

class PosixShellOperations final : public ShellOperations {
public:
    std::string currentDirectory() override {
        char buffer[kPathBufferSize] = {};
        if (getcwd(buffer, sizeof buffer) == nullptr) return std::string();
        return std::string(buffer);
    }

    int createDirectory(const std::string& folder) override {
        std::error_code error;
        fs::create_directories(toPosixPath(folder), error);
        return error ? error.value() : 0;
    }

    int copyFiles(const std::string& source, const std::string& target) override {
        std::error_code error;
        const fs::path from = toPosixPath(source);
        const fs::path to = toPosixPath(target);
        fs::create_directories(to, error);
        if (error) return error.value();
        if (from.filename() == "*") {
            // A wildcard source in a missing folder copies nothing, as the shell does.
            fs::directory_iterator entries(from.parent_path(), error);
            if (error) return 0;
            for (const fs::directory_entry& entry : entries) {
                copyEntryInto(entry.path(), to, error);
                if (error) return error.value();
            }
            return 0;
        }
        if (!fs::exists(from, error)) return 0;
        copyEntryInto(from, to, error);
        return error ? error.value() : 0;
    }
};

}  // namespace

ShellOperations& platformShellOperations() {
    static PosixShellOperations operations;
    return operations;
}

}  // namespace pmquery
