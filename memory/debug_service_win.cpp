// Win32 code only: the debugger's service and its privilege (see the header).
#include "memory/debug_service_win.h"

#include <windows.h>

namespace memory {

namespace {

// The last error of a call that failed; never 0, which would read as success.
DWORD failure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

}  // namespace

SystemDebugControlFn findSystemDebugControl() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    // Through void*: GetProcAddress's generic function type says nothing of the real one.
    return reinterpret_cast<SystemDebugControlFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "ZwSystemDebugControl")));
}

std::uint32_t enableDebugPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return failure();
    TOKEN_PRIVILEGES privileges = {};
    DWORD error = ERROR_SUCCESS;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        error = failure();
    } else {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) {
            error = failure();
        } else {
            error = GetLastError();  // ERROR_SUCCESS, or ERROR_NOT_ALL_ASSIGNED
        }
    }
    CloseHandle(token);
    return error;
}

}  // namespace memory
