#ifndef VELMORA_COLLECTOR_SYSTEM_SERVICES_H
#define VELMORA_COLLECTOR_SYSTEM_SERVICES_H

#include <cstddef>
#include <string>

namespace collector {

// The operating-system calls of the secure-update retrieval that do not go
// through the platform object: volume enumeration and labels, the command
// interpreter, the environment and standard input the interpreter inherits,
// and sleeping. Windows calls the system directly; POSIX builds
// have no volumes; tests put a fake in place.
class SystemServices {
public:
    virtual ~SystemServices() = default;

    // Opens a volume enumeration (FindFirstVolumeA into a 64-character name
    // buffer); false when none can be opened. Used only as a presence check.
    virtual bool openVolumeEnumeration() = 0;
    // Closes the enumeration opened above (FindVolumeClose).
    virtual void closeVolumeEnumeration() = 0;
    // Fills `buffer` (`size` characters) with the drive roots, each "X:\" and
    // a NUL (GetLogicalDriveStringsA); returns the characters the system
    // reports, which may exceed `size` when the list does not fit.
    virtual unsigned logicalDriveStrings(char* buffer, unsigned size) = 0;
    // Reads the volume label of `root` into `label` (GetVolumeInformationA).
    virtual bool volumeLabel(const char* root, char* label, unsigned size) = 0;
    // Runs `command` through the C runtime's command interpreter (system).
    virtual int runCommand(const char* command) = 0;
    // The process environment, which commands inherit: the value of `name`,
    // false when it is not set.
    virtual bool environmentValue(const char* name, std::string& value) = 0;
    // Sets `name` to `value`, or removes it when `value` is null.
    virtual void setEnvironmentValue(const char* name, const char* value) = 0;
    // Gives the process the null device as standard input, so that commands
    // started from here cannot read the caller's; false when it cannot.
    virtual bool detachStandardInput() = 0;
    // Gives back the standard input that detachStandardInput replaced.
    virtual void reattachStandardInput() = 0;
    virtual void sleepMilliseconds(unsigned milliseconds) = 0;
};

// The services in use: the platform's, unless a test put a fake in place.
SystemServices& systemServices();

// The process-wide implementation of this platform (system_services_win.cpp
// or system_services_posix.cpp).
SystemServices& platformSystemServices();

// Test hook: use `fake` instead (null restores the platform's). Returns what
// it replaced (null: the platform's).
SystemServices* setSystemServicesForTesting(SystemServices* fake);

}  // namespace collector

#endif
