// POSIX implementation of the secure-update system calls. There is no
// controller volume to enumerate here, so the volume search always reports
// that it cannot start; commands, the environment, standard input and
// sleeping are real.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

    bool environmentValue(const char* name, std::string& value) override {
        const char* found = std::getenv(name);
        if (found == nullptr) return false;
        value = found;
        return true;
    }

    void setEnvironmentValue(const char* name, const char* value) override {
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }

    bool detachStandardInput() override {
        // The caller's input is kept open on a descriptor of its own, so the
        // same open file comes back on descriptor 0 afterwards.
        const int saved = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved < 0 && errno != EBADF) return false;
        const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null < 0) {
            if (saved >= 0) close(saved);
            return false;
        }
        if (null != STDIN_FILENO) {
            // dup2 leaves descriptor 0 inheritable.
            const bool replaced = dup2(null, STDIN_FILENO) == STDIN_FILENO;
            close(null);
            if (!replaced) {
                if (saved >= 0) close(saved);
                return false;
            }
        } else {
            // Descriptor 0 was closed and the null device took its place.
            fcntl(STDIN_FILENO, F_SETFD, 0);
        }
        savedInput_ = saved;
        return true;
    }

    void reattachStandardInput() override {
        if (savedInput_ >= 0) {
            dup2(savedInput_, STDIN_FILENO);
            close(savedInput_);
        } else {
            close(STDIN_FILENO);  // the caller had none
        }
        savedInput_ = -1;
    }

    void sleepMilliseconds(unsigned milliseconds) override {
        timespec pause{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0) {
        }
    }

private:
    int savedInput_ = -1;  // the caller's standard input while detached; -1: it had none
};

}  // namespace

SystemServices& platformSystemServices() {
    static PosixSystemServices services;
    return services;
}

}  // namespace collector
