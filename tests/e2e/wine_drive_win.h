#ifndef VELMORA_TESTS_E2E_WINE_DRIVE_WIN_H
#define VELMORA_TESTS_E2E_WINE_DRIVE_WIN_H

// Mapping a host folder as a drive letter of a running Wine prefix, and
// removing it again. Test support for Wine only; Win32 code only.
//
// A symlink in the prefix's dosdevices folder is seen only by a Wine that
// starts after it was made; a drive added while Wine runs must go through
// Wine's mount manager. Its label is read from the folder's .windows-label.

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

namespace wine_drive {

// Wine's private mount manager request that maps or unmaps a host folder
// (the Wine 8 layout of the request).
struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Null `hostFolder` unmaps. Returns 0 or the Win32 error.
inline DWORD defineUnixDrive(char letter, const char* hostFolder) {
    const size_t pathSize = hostFolder != nullptr ? std::strlen(hostFolder) + 1 : 0;
    std::vector<char> buffer(sizeof(UnixDriveRequest) + pathSize);
    auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->letter = static_cast<WCHAR>(letter | 0x20);
    if (hostFolder != nullptr) {
        request->type = DRIVE_FIXED;
        request->mountPointOffset = sizeof(UnixDriveRequest);
        std::memcpy(buffer.data() + sizeof(UnixDriveRequest), hostFolder, pathSize);
    }
    HANDLE manager = CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr);
    const DWORD error = done ? 0 : GetLastError();
    CloseHandle(manager);
    return error;
}

inline DWORD mapFolder(char letter, const char* hostFolder) { return defineUnixDrive(letter, hostFolder); }

// The mount manager forgets the drive and its dosdevices symlink, but leaves
// the letter's device name behind, still listed by GetLogicalDriveStrings;
// removing the name as well makes the letter disappear for the next program.
inline void unmapDrive(char letter) {
    defineUnixDrive(letter, nullptr);
    const char name[3] = {static_cast<char>(letter & ~0x20), ':', '\0'};
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, nullptr);
}

// The host path of a Windows path, through Wine's own export; empty when not
// under Wine.
inline std::string hostPathOf(const char* windowsPath) {
    using ToUnix = char* (*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) return std::string();
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, windowsPath, -1, wide, MAX_PATH);
    char* unixPath = toUnix(wide);
    if (unixPath == nullptr) return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

}  // namespace wine_drive

#endif
