#ifndef VELMORA_TOOL_SHELL_OPERATIONS_H
#define VELMORA_TOOL_SHELL_OPERATIONS_H

#include <cstddef>
#include <string>

namespace pmquery {

// Paths are at most 259 characters; their buffers hold one more for the NUL.
constexpr std::size_t kPathBufferSize = 260;

// The operating-system calls of image staging: the current directory, folder
// creation and a silent copy. Windows uses the shell (SHCreateDirectoryExA,
// SHFileOperationA); POSIX builds use their own equivalents; tests may put a
// fake in place.
class ShellOperations {
public:
    virtual ~ShellOperations() = default;
    // The process's current directory; empty when it cannot be read or does
    // not fit a path buffer.
    virtual std::string currentDirectory() = 0;
    // Creates `folder` with all missing parents. The result is only informative.
    virtual int createDirectory(const std::string& folder) = 0;
    // Copies `source` (a file, or a folder's entries through a trailing "*")
    // into the folder `target`, replacing files of the same name without a
    // prompt. The result is only informative.
    virtual int copyFiles(const std::string& source, const std::string& target) = 0;
};

// The process-wide implementation of this platform.
ShellOperations& shellOperations();

// Test hook: use `fake` instead (null restores the system's). Returns what it
// replaced (null: the system's).
ShellOperations* setShellOperationsForTesting(ShellOperations* fake);

}  // namespace pmquery

#endif
