// Win32 implementation of the platform services. Only Win32 code belongs here.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "collector/platform/ruxa_agent.h"
#include "collector/platform/platform_win.h"

namespace collector {

IPlatformImpl* newNativePlatform() { return new CWindowsImpl(); }

namespace {

// Values above this size are not read at all: the agent's marker is a short
// version text, and the size comes from the registry, not from us.
constexpr DWORD kMaxRegistryRead = 64 * 1024;

// The current directory for the agent's script, without trailing separator.
bool agentDirectory(std::string* directory) {
    char buffer[kMaxRuxaCommandLine + 1] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    // 0 is a failure; a result of the buffer size or more is the size the
    // directory would need, with nothing written.
    if (length == 0 || length >= sizeof buffer) return false;
    directory->assign(buffer, length);
    return true;
}

RuxaAgentServices agentServices(CWindowsImpl* platform) {
    RuxaAgentServices services;
    services.isRuxaInstalled = [platform] { return platform->isRuxaInstalled(); };
    services.currentDirectory = agentDirectory;
    services.runProcess = [platform](const std::string& commandLine, bool show) {
        return platform->runProcess(commandLine, show);
    };
    return services;
}

}  // namespace

int CWindowsImpl::installRuxa() { return installRuxaWith(agentServices(this)); }

int CWindowsImpl::uninstallRuxa() { return uninstallRuxaWith(agentServices(this)); }

LibraryHandle CWindowsImpl::loadLibrary(const std::string& fileName) {
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(fileName.c_str()));
}

void CWindowsImpl::freeLibrary(LibraryHandle handle) {
    if (handle == nullptr) return;
    FreeLibrary(static_cast<HMODULE>(handle));
}

FunctionAddress CWindowsImpl::getProcAddress(LibraryHandle handle, const std::string& name) {
    if (handle == nullptr || name.empty()) return nullptr;
    return reinterpret_cast<FunctionAddress>(GetProcAddress(static_cast<HMODULE>(handle), name.c_str()));
}

int CWindowsImpl::runProcess(const std::string& commandLine, bool show) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show ? SW_SHOW : SW_HIDE;

    // CreateProcessA may write into the command line, so it gets its own copy.
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');

    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return static_cast<int>(GetLastError());
    }

    // Bounded: a hanging script must not hang the caller. The child is left
    // running when the wait ends; its exit code then reads STILL_ACTIVE.
    WaitForSingleObject(process.hProcess, processWaitMilliseconds());
    DWORD exitCode = 0;
    int result;
    if (GetExitCodeProcess(process.hProcess, &exitCode)) {
        result = static_cast<int>(exitCode);
    } else {
        result = static_cast<int>(GetLastError());
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

void CWindowsImpl::sleep(int32_t seconds) {
    // A negative duration means no pause, not a 49-day one; a huge one stops
    // short of INFINITE.
    const uint64_t milliseconds = seconds > 0 ? static_cast<uint64_t>(seconds) * 1000u : 0u;
    Sleep(static_cast<DWORD>(std::min<uint64_t>(milliseconds, INFINITE - 1)));
}

std::string CWindowsImpl::getCurrentDirectory() {
    // A path buffer and one character more: the size the system call is given.
    char buffer[kPathBufferSize + 1] = {};
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return std::string(buffer, strnlen(buffer, sizeof buffer)) + "\\";
}

std::vector<std::string> CWindowsImpl::listDirectory(const std::string& directory) {
    const std::string pattern = directory.empty() ? std::string(".\\*.*") : directory + "\\*.*";
    const std::string prefix = directory.empty() ? std::string(".\\") : directory + "\\";
    std::vector<std::string> entries;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name(found.cFileName, strnlen(found.cFileName, sizeof found.cFileName));
        if (name != "." && name != "..") entries.push_back(prefix + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

bool CWindowsImpl::isRuxaInstalled() {
    return !readRegistryString(kRuxaRegistryKey, kRuxaRegistryValue, false).empty();
}

std::string CWindowsImpl::readRegistryString(const std::string& subKey, const std::string& valueName,
                                             bool use64BitView) {
    HKEY key = nullptr;
    const REGSAM access = KEY_QUERY_VALUE | (use64BitView ? KEY_WOW64_64KEY : 0);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return std::string();
    }
    // The value may fill or overrun any fixed buffer and need not end in a
    // zero byte, so it is read whole (within a bound) and cut by registryText.
    std::vector<char> data(kMaxRegistryText + 1, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    LONG status = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                                   &size);
    if (status == ERROR_MORE_DATA && size <= kMaxRegistryRead) {
        data.assign(size, '\0');
        status = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                                  &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::string();
    return registryText(data.data(), std::min<size_t>(size, data.size()));
}

}  // namespace collector
