// CMOS ports on Windows, through the kernel debugger's I/O-space service.
// Win32 and ntdll code only; the POSIX version lives in cmos_rw_io_posix.cpp.
#include <windows.h>

#include <cstdint>

#include "cmos/cmos_rw_io.h"
#include "smbios/smbios_exceptions.h"

namespace cmos {

namespace {

using ZwSystemDebugControlFn = LONG(NTAPI*)(ULONG, void*, ULONG, void*, ULONG, ULONG*);

// Process-wide, filled again by every construction.
ZwSystemDebugControlFn zwSystemDebugControl = nullptr;

constexpr ULONG kReadIoSpace = 14;
constexpr ULONG kWriteIoSpace = 15;
constexpr ULONG kIsaInterface = 1;
constexpr ULONG kIoAddressSpace = 1;

// The service's request for one I/O-space transfer. On 32-bit Windows the
// buffer address is 32 bits and four bytes of padding close the record; on
// 64-bit Windows the address keeps its full width and fills that room. Both
// are the 32 bytes the service checks for.
struct IoSpaceRequest {
    ULONGLONG address;
    void* buffer;
    ULONG length;
    ULONG interfaceType;
    ULONG busNumber;
    ULONG addressSpace;
};
static_assert(sizeof(IoSpaceRequest) == 32, "the service expects a 32-byte request");

constexpr const char* kUnavailable = "Error loading DLLs needed to call functions to read CMOS.";

bool enableDebugPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    bool enabled = false;
    if (LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // The call succeeds even when the token lacks the privilege; only
        // ERROR_NOT_ALL_ASSIGNED tells, and then it is not enabled.
        enabled = AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr) &&
                  GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(token);
    return enabled;
}

bool transfer(ULONG command, std::uint32_t port, std::uint8_t* byte) {
    IoSpaceRequest request = {};
    request.address = port;
    request.buffer = byte;
    request.length = 1;
    request.interfaceType = kIsaInterface;
    request.busNumber = 0;
    request.addressSpace = kIoAddressSpace;
    ULONG returned = 0;
    return zwSystemDebugControl(command, &request, sizeof(request), nullptr, 0, &returned) >= 0;
}

}  // namespace

CmosRWIo::CmosRWIo() {
    // Only looked up, never loaded: ntdll is in every process already.
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    zwSystemDebugControl = ntdll == nullptr ? nullptr
                                            : reinterpret_cast<ZwSystemDebugControlFn>(reinterpret_cast<void*>(
                                                  GetProcAddress(ntdll, "ZwSystemDebugControl")));
    if (zwSystemDebugControl == nullptr || !enableDebugPrivilege()) throw smbios::NotImplementedImpl(kUnavailable);
}

CmosRWIo::~CmosRWIo() = default;

std::uint8_t CmosRWIo::readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) {
    std::uint8_t index = static_cast<std::uint8_t>(offset);
    std::uint8_t value = 0;
    if (!transfer(kWriteIoSpace, indexPort, &index) || !transfer(kReadIoSpace, dataPort, &value)) {
        throw smbios::NotImplementedImpl("");
    }
    return value;
}

void CmosRWIo::writeByte(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t) {
    throw smbios::NotImplementedImpl("");
}

}  // namespace cmos
