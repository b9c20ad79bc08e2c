// Test helper of the end-to-end scenarios: the simulated controller's
// repository volume "SECUPD" under Wine. Win32 code only.
//
// usage: secupd_drive.exe folders
//          prints the repository's folder names, one per line, for requester
//          ids 1 to 8: the layout the product expects on the volume
//        secupd_drive.exe map LETTER HOST_FOLDER [DELAY_MS]
//          waits DELAY_MS (default 0), then maps HOST_FOLDER as LETTER:
//        secupd_drive.exe map-when FILE LETTER HOST_FOLDER
//          waits until FILE exists (at most 600 s), then maps HOST_FOLDER as
//          LETTER: at once. Started before it is needed, it maps at a moment
//          the caller picks, without the start-up time of a program (over a
//          second under emulation on a busy machine) in between
//        secupd_drive.exe unmap LETTER
//          removes LETTER: (a letter that is not mapped is no error)
//        secupd_drive.exe processes
//          prints the image name of every process in the prefix, one per
//          line, so that a scenario can tell what its run left running
//          (Wine's tasklist lists nothing)
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "collector/repository_copy.h"
#include "tests/e2e/wine_drive_win.h"

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: secupd_drive.exe folders | map LETTER HOST_FOLDER [DELAY_MS] | map-when FILE LETTER HOST_FOLDER"
        " | unmap LETTER | processes\n");
    return 2;
}

int listProcesses() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "secupd_drive: cannot list the processes (error %lu)\n", GetLastError());
        return 1;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        std::printf("%s\n", entry.szExeFile);
    CloseHandle(snapshot);
    return 0;
}

bool isLetter(const char* text) {
    return std::strlen(text) == 1 && ((text[0] >= 'C' && text[0] <= 'Z') || (text[0] >= 'c' && text[0] <= 'z'));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "folders") == 0) {
        for (const char* folder : collector::requesterFolders) std::printf("%s\n", folder);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "processes") == 0) return listProcesses();
    if (argc == 3 && std::strcmp(argv[1], "unmap") == 0 && isLetter(argv[2])) {
        wine_drive::unmapDrive(argv[2][0]);
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "map-when") == 0 && isLetter(argv[3])) {
        constexpr DWORD kPollMilliseconds = 20;
        for (DWORD waited = 0; GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; waited += kPollMilliseconds) {
            if (waited >= 600000) {
                std::fprintf(stderr, "secupd_drive: %s did not appear\n", argv[2]);
                return 1;
            }
            Sleep(kPollMilliseconds);
        }
        const DWORD error = wine_drive::mapFolder(argv[3][0], argv[4]);
        if (error != 0) {
            std::fprintf(stderr, "secupd_drive: cannot map %s: (error %lu)\n", argv[3], error);
            return 1;
        }
        return 0;
    }
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "map") == 0 && isLetter(argv[2])) {
        if (argc == 5) Sleep(static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
        const DWORD error = wine_drive::mapFolder(argv[2][0], argv[3]);
        if (error != 0) {
            std::fprintf(stderr, "secupd_drive: cannot map %s: (error %lu)\n", argv[2], error);
            return 1;
        }
        return 0;
    }
    return usage();
}
