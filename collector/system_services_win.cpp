// Windows implementation of the secure-update system calls: Win32 only.
#include <windows.h>

#include <io.h>
#include <stdlib.h>

#include <cstdlib>
#include <vector>

#include "collector/system_services.h"

namespace collector {

namespace {

class WindowsSystemServices final : public SystemServices {
public:
    bool openVolumeEnumeration() override {
        char volumeName[64] = {};
        enumeration_ = FindFirstVolumeA(volumeName, sizeof volumeName);
        return enumeration_ != INVALID_HANDLE_VALUE;
    }

    void closeVolumeEnumeration() override {
        if (enumeration_ != INVALID_HANDLE_VALUE) FindVolumeClose(enumeration_);
        enumeration_ = INVALID_HANDLE_VALUE;
    }

    unsigned logicalDriveStrings(char* buffer, unsigned size) override { return GetLogicalDriveStringsA(size, buffer); }

    bool volumeLabel(const char* root, char* label, unsigned size) override {
        return GetVolumeInformationA(root, label, size, nullptr, nullptr, nullptr, nullptr, 0) != 0;
    }

    int runCommand(const char* command) override { return std::system(command); }

    bool environmentValue(const char* name, std::string& value) override {
        // An empty value still needs one character: 0 means not set.
        DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
        while (needed != 0) {
            std::vector<char> buffer(needed);
            const DWORD length = GetEnvironmentVariableA(name, buffer.data(), needed);
            if (length < needed) {
                value.assign(buffer.data(), length);
                return true;
            }
            needed = length;  // changed in between: try again with the new size
        }
        return false;
    }

    void setEnvironmentValue(const char* name, const char* value) override {
        // The C runtime keeps a copy of the environment for getenv; the
        // process environment, which the interpreter inherits, is set after
        // it so that it holds exactly `value` (the copy cannot hold an empty
        // value).
        _putenv((std::string(name) + "=" + (value != nullptr ? value : "")).c_str());
        SetEnvironmentVariableA(name, value);
    }

    bool detachStandardInput() override {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        const HANDLE null = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (null == INVALID_HANDLE_VALUE) return false;
        savedInput_ = GetStdHandle(STD_INPUT_HANDLE);
        if (!SetStdHandle(STD_INPUT_HANDLE, null)) {
            CloseHandle(null);
            return false;
        }
        null_ = null;
        // The C runtime hands its own descriptor table to the programs that
        // system() starts, descriptor 0 among them. The caller's handle is not
        // closed or replaced (a caller with a runtime of its own shares it);
        // it is only kept from being inherited while the commands run.
        runtimeInput_ = reinterpret_cast<HANDLE>(_get_osfhandle(0));
        DWORD flags = 0;
        runtimeInputInherited_ = false;
        if (runtimeInput_ != INVALID_HANDLE_VALUE && runtimeInput_ != nullptr &&
            GetHandleInformation(runtimeInput_, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0) {
            runtimeInputInherited_ = SetHandleInformation(runtimeInput_, HANDLE_FLAG_INHERIT, 0) != 0;
        }
        return true;
    }

    void reattachStandardInput() override {
        if (runtimeInputInherited_) SetHandleInformation(runtimeInput_, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        runtimeInputInherited_ = false;
        if (null_ == INVALID_HANDLE_VALUE) return;
        SetStdHandle(STD_INPUT_HANDLE, savedInput_);
        CloseHandle(null_);
        null_ = INVALID_HANDLE_VALUE;
    }

    void sleepMilliseconds(unsigned milliseconds) override { Sleep(milliseconds); }

private:
    HANDLE enumeration_ = INVALID_HANDLE_VALUE;
    // While standard input is detached: the null device, the caller's
    // standard handle, and the runtime's descriptor 0 if its inheritance was
    // switched off.
    HANDLE null_ = INVALID_HANDLE_VALUE;
    HANDLE savedInput_ = nullptr;
    HANDLE runtimeInput_ = INVALID_HANDLE_VALUE;
    bool runtimeInputInherited_ = false;
};

}  // namespace

SystemServices& platformSystemServices() {
    static WindowsSystemServices services;
    return services;
}

}  // namespace collector
