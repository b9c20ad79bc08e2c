#include "collector/repository_copy.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "collector/command_context.h"
#include "collector/system_services.h"
#include "seam/test_replacement.h"

namespace collector {

const char* const requesterFolders[8] = {
    "updatemgr",      // 1
    "deploytool",     // 2
    "lifecycle",      // 3
    "oscollect",      // 4
    "remoteconsole",  // 5
    "customization",  // 6: its files go to the customization image folder
    "installer",      // 7
    "diagnostics",    // 8
};

namespace {

constexpr const char* kRepositoryLabel = "SECUPD";
// Every command sends its output to this log, deleted after staging.
constexpr const char* kLogRedirection = " 1>2>C:\\pm.log";

const VolumeWait kProductWait = {60, 2000};
seam::TestReplacement<const VolumeWait> testWait;

// No staging command may wait for an answer: nobody is there to give one.
// xcopy asks before it replaces a file that an earlier staging left, unless
// COPYCMD says /Y (the command text itself stays as it is logged); and no
// command gets the caller's standard input to read a prompt's answer from.
// Both hold for the command only: the caller's environment and input come
// back afterwards.
class UnattendedCommand {
public:
    explicit UnattendedCommand(SystemServices& system)
        : system_(system), hadCopyOptions_(system.environmentValue(kCopyOptions, callersCopyOptions_)) {
        system_.setEnvironmentValue(kCopyOptions, "/Y");
        inputDetached_ = system_.detachStandardInput();
    }
    ~UnattendedCommand() {
        if (inputDetached_) system_.reattachStandardInput();
        system_.setEnvironmentValue(kCopyOptions, hadCopyOptions_ ? callersCopyOptions_.c_str() : nullptr);
    }
    UnattendedCommand(const UnattendedCommand&) = delete;
    UnattendedCommand& operator=(const UnattendedCommand&) = delete;

private:
    static constexpr const char* kCopyOptions = "COPYCMD";
    SystemServices& system_;
    std::string callersCopyOptions_;
    bool hadCopyOptions_;
    bool inputDetached_ = false;
};

int runLogged(const std::string& command, const char* format) {
    SystemServices& system = systemServices();
    int returned;
    {
        const UnattendedCommand unattended(system);
        returned = system.runCommand(command.c_str());
    }
    std::fprintf(stderr, format, command.c_str(), returned);
    return returned;
}

// An open volume enumeration, closed on every way out of the search. It
// serves only as the presence check: the volume name is not used.
class VolumeEnumeration {
public:
    explicit VolumeEnumeration(SystemServices& system) : system_(system), open_(system.openVolumeEnumeration()) {}
    ~VolumeEnumeration() {
        if (open_) system_.closeVolumeEnumeration();
    }
    VolumeEnumeration(const VolumeEnumeration&) = delete;
    VolumeEnumeration& operator=(const VolumeEnumeration&) = delete;
    bool isOpen() const { return open_; }

private:
    SystemServices& system_;
    bool open_;
};

}  // namespace

const VolumeWait* setVolumeWaitForTesting(const VolumeWait* wait) { return testWait.exchange(wait); }

const char* requesterFolder(int requesterId) {
    if (requesterId < 1 || requesterId > 8) return nullptr;
    return requesterFolders[requesterId - 1];
}

const char* targetDirectoryFor(int requesterId) {
    return requesterId == 6 ? "C:/\\quor/\\vix/\\customization/\\etc/\\images" : "C:/\\quor/\\qep";
}

bool findVolumeByLabel(const char* label, std::string& mountPoint) {
    SystemServices& system = systemServices();
    const VolumeEnumeration enumeration(system);
    if (!enumeration.isOpen()) {
        std::fprintf(stderr, "Unable to obtain handle for Volume\n");
        return false;
    }

    char drives[64] = {};
    const unsigned reported = system.logicalDriveStrings(drives, sizeof drives);
    // A list longer than the buffer is not read past it: the roots that fit
    // are searched, and an unfilled buffer holds no root at all.
    const unsigned length = reported < sizeof drives ? reported : sizeof drives;
    for (unsigned offset = 0; offset + 4 <= length && drives[offset] != '\0'; offset += 4) {
        const char* root = &drives[offset];
        char volumeLabel[1024] = {};
        if (system.volumeLabel(root, volumeLabel, sizeof volumeLabel)) {
            volumeLabel[sizeof volumeLabel - 1] = '\0';
            // Fixed text, the blank before the line end included.
            std::fprintf(stderr, "LABEL- %s - \n", volumeLabel);
        }
        if (std::strncmp(volumeLabel, label, 6) == 0) {
            try {
                mountPoint.assign(root, strnlen(root, 4));
            } catch (const std::bad_alloc&) {
                std::printf("internal error\n");
                return false;
            }
            return true;
        }
    }
    return false;
}

bool waitForVolume(const char* label, std::string& mountPoint) {
    const VolumeWait& volumeWait = testWait.orElse(kProductWait);
    for (int attempt = 0; attempt < volumeWait.attempts; ++attempt) {
        if (findVolumeByLabel(label, mountPoint)) return true;
        systemServices().sleepMilliseconds(volumeWait.intervalMilliseconds);
        std::fprintf(stderr, "Mount point not found, retrying after 2 seconds\n");
    }
    return false;
}

int copyFromRepository(char* sourcePath, const char* target) {
    const PMCommandContext* context = currentCommandContext();
    const char* folder = requesterFolder(context != nullptr ? context->requesterId : 0);
    // A requester without a folder has nothing to wait for.
    if (folder == nullptr) return 0;

    std::string mountPoint;
    if (!waitForVolume(kRepositoryLabel, mountPoint)) return 0;

    std::snprintf(sourcePath, kPathBufferSize, "%s\\%s", mountPoint.c_str(), folder);
    const std::string command = std::string("xcopy /e /i \"") + sourcePath + "\" \"" + target + "\"" + kLogRedirection;
    runLogged(command, "DEBUG: copy command %s ret:%d\n");
    return 1;
}

int stagePMFiles(char* sourcePath, char* target) {
    const PMCommandContext* context = currentCommandContext();
    std::snprintf(target, kPathBufferSize, "%s", targetDirectoryFor(context != nullptr ? context->requesterId : 0));
    const std::string directory = target;

    runLogged("mkdir \"" + directory + "\"" + kLogRedirection, "DEBUG: copy command %s ret:%d\n");

    std::string deleteOld = "del /F ";
    for (const char* mask : {"jpg", "JPG", "png", "gif"}) {
        deleteOld += "\"" + directory + "/\\*." + mask + "\" ";
    }
    // Two blanks before the redirection (the mask's own and the tail's): the
    // command text is fixed, logged and matched as it is.
    deleteOld += "\"" + directory + "/\\*.xml\" " + kLogRedirection;
    runLogged(deleteOld, "DEBUG: del command %s ret:%d\n");

    const int copied = copyFromRepository(sourcePath, target);

    runLogged("del /F \"C:\\pm.log\"", "DEBUG: del command %s ret:%d\n");
    return copied;
}

}  // namespace collector
