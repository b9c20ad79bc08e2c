// POSIX implementation of the secure-update system calls. There is no
// controller volume to enumerate here, so the volume search always reports
// that it cannot start; commands and sleeping are real.
#include <cstdlib>
#include <ctime>

#include "collector/system_services.h"

namespace collector {

namespace {

class PosixSystemServices final : public SystemServices {
public:
    bool openVolumeEnumeration() override { return false; }
    void closeVolumeEnumeration() override {}
    unsigned logicalDriveStrings(char* buffer, unsigned size) override {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    bool volumeLabel(const char*, char* label, unsigned size) override {
        if (size > 0) label[0] = '\0';
        return false;
    }
    int runCommand(const char* command) override { return std::system(command); }
    void sleepMilliseconds(unsigned milliseconds) override {
        timespec pause{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0) {
        }
    }
};

}  // namespace

SystemServices& platformSystemServices() {
    static PosixSystemServices services;
    return services;
}

}  // namespace collector
