// Windows implementation of the secure-update system calls: Win32 only.
#include <windows.h>

#include <cstdlib>

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

    unsigned logicalDriveStrings(char* buffer, unsigned size) override {
        return GetLogicalDriveStringsA(size, buffer);
    }

    bool volumeLabel(const char* root, char* label, unsigned size) override {
        return GetVolumeInformationA(root, label, size, nullptr, nullptr, nullptr, nullptr, 0) != 0;
    }

    int runCommand(const char* command) override { return std::system(command); }

    void sleepMilliseconds(unsigned milliseconds) override { Sleep(milliseconds); }

private:
    HANDLE enumeration_ = INVALID_HANDLE_VALUE;
};

}  // namespace

SystemServices& platformSystemServices() {
    static WindowsSystemServices services;
    return services;
}

}  // namespace collector
