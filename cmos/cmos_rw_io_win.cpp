// CMOS ports on Windows, through the kernel debugger's I/O-space service.
// Win32 and ntdll code only; the POSIX version lives in cmos_rw_io_posix.cpp.
#include <windows.h>

#include <cstdint>

#include "cmos/cmos_rw_io.h"
#include "memory/debug_service_win.h"
#include "smbios/smbios_exceptions.h"

namespace cmos {

namespace {

// Process-wide, filled again by every construction.
memory::SystemDebugControlFn zwSystemDebugControl = nullptr;

constexpr const char* kUnavailable = "Error loading DLLs needed to call functions to read CMOS.";

// The service's status, or the privilege's error, rides along as "ntstatus"
// or "last_error".
[[noreturn]] void throwUnavailable(const char* message, const char* code, std::uint32_t value) {
    smbios::NotImplementedImpl error(message);
    error.setParameter(code, static_cast<int>(value));
    throw error;
}

// The service's status: negative when the transfer failed.
LONG transfer(ULONG command, std::uint32_t port, std::uint8_t* byte) {
    memory::IoSpaceRequest request = {};
    request.address = port;
    request.buffer = byte;
    request.length = 1;
    request.interfaceType = 1;  // ISA
    request.busNumber = 0;
    request.addressSpace = 1;  // I/O ports
    ULONG returned = 0;
    return zwSystemDebugControl(command, &request, sizeof(request), nullptr, 0, &returned);
}

}  // namespace

CmosRWIo::CmosRWIo() {
    zwSystemDebugControl = memory::findSystemDebugControl();
    if (zwSystemDebugControl == nullptr) throw smbios::NotImplementedImpl(kUnavailable);
    const std::uint32_t refused = memory::enableDebugPrivilege();
    if (refused != 0) throwUnavailable(kUnavailable, "last_error", refused);
}

CmosRWIo::~CmosRWIo() = default;

std::uint8_t CmosRWIo::readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) {
    std::uint8_t index = static_cast<std::uint8_t>(offset);
    std::uint8_t value = 0;
    LONG status = transfer(memory::kWriteIoSpace, indexPort, &index);
    if (status >= 0) status = transfer(memory::kReadIoSpace, dataPort, &value);
    if (status < 0) throwUnavailable("", "ntstatus", static_cast<std::uint32_t>(status));
    return value;
}

void CmosRWIo::writeByte(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t) {
    throw smbios::NotImplementedImpl("");
}

}  // namespace cmos
