// POSIX implementation of the platform services.
#include <dirent.h>
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "collector/platform/platform_posix.h"
#include "collector/platform/ruxa_agent.h"

extern char** environ;

namespace collector {

IPlatformImpl* newNativePlatform() { return new PosixPlatformImpl(); }

int PosixPlatformImpl::installRuxa() {
    ruxaWasPresent = false;
    return 1;
}

// Nothing was installed, so there is nothing to remove.
int PosixPlatformImpl::uninstallRuxa() { return 0; }

LibraryHandle PosixPlatformImpl::loadLibrary(const std::string& fileName) {
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void PosixPlatformImpl::freeLibrary(LibraryHandle handle) {
    if (handle == nullptr) return;
    dlclose(handle);
}

FunctionAddress PosixPlatformImpl::getProcAddress(LibraryHandle handle, const std::string& name) {
    if (handle == nullptr || name.empty()) return nullptr;
    return dlsym(handle, name.c_str());
}

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (const char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}

int PosixPlatformImpl::runProcess(const std::string& commandLine, bool /*show*/) {
    std::vector<std::string> arguments = splitCommandLine(commandLine);
    if (arguments.empty()) return ENOENT;
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawnError = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawnError != 0) return spawnError;

    // The same bounded wait as on Windows; a child still running afterwards
    // is left alone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(processWaitMilliseconds());
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return kProcessStillRunning;
        }
        if (done < 0 && errno != EINTR) return errno;
        if (std::chrono::steady_clock::now() >= deadline) return kProcessStillRunning;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void PosixPlatformImpl::sleep(int32_t seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

std::string PosixPlatformImpl::getCurrentDirectory() {
    // A path buffer and one character more: the size the system call is given.
    char buffer[kPathBufferSize + 1] = {};
    if (getcwd(buffer, sizeof buffer) == nullptr) buffer[0] = '\0';
    return std::string(buffer, strnlen(buffer, sizeof buffer)) + "/";
}

std::vector<std::string> PosixPlatformImpl::listDirectory(const std::string& directory) {
    const std::string prefix = directory.empty() ? std::string("./") : directory + "/";
    std::vector<std::string> entries;
    DIR* search = opendir(directory.empty() ? "." : directory.c_str());
    if (search == nullptr) return entries;
    while (const dirent* entry = readdir(search)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") entries.push_back(prefix + name);
    }
    closedir(search);
    return entries;
}

}  // namespace collector
