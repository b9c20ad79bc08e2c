#ifndef VELMORA_MEMORY_DEBUG_SERVICE_WIN_H
#define VELMORA_MEMORY_DEBUG_SERVICE_WIN_H

// The kernel debugger's service and the privilege that opens it, shared by
// the two readers that need them on Windows: physical memory (memory/) and
// the CMOS ports (cmos/). Included by Windows-only sources; it needs no
// system header itself.

#include <cstdint>

namespace memory {

// The service's commands this layer uses.
constexpr unsigned long kReadPhysicalMemory = 10;
constexpr unsigned long kReadIoSpace = 14;
constexpr unsigned long kWriteIoSpace = 15;

// The request of a physical-memory read. On 32-bit Windows it is the 16-byte
// record the kernel expects; on 64-bit the buffer address keeps its full
// width instead of being cut to 32 bits.
struct PhysicalReadRequest {
    std::uint64_t address;
    void* buffer;
    std::uint32_t length;
};
static_assert(sizeof(void*) != 4 || sizeof(PhysicalReadRequest) == 16, "request record of 32-bit Windows");

// The request of one I/O-space transfer (interface type 1: ISA; address
// space 1: I/O ports). On 32-bit Windows the buffer address is 32 bits and
// four bytes of padding close the record; on 64-bit Windows the address
// keeps its full width and fills that room. Both are the 32 bytes the
// service checks for.
struct IoSpaceRequest {
    std::uint64_t address;
    void* buffer;
    std::uint32_t length;
    std::uint32_t interfaceType;
    std::uint32_t busNumber;
    std::uint32_t addressSpace;
};
static_assert(sizeof(IoSpaceRequest) == 32, "the service expects a 32-byte request");

// ZwSystemDebugControl(command, request, request length, output, output
// length, returned length), returning an NTSTATUS (negative: failed).
using SystemDebugControlFn = long(__stdcall*)(unsigned long, void*, unsigned long, void*, unsigned long,
                                              unsigned long*);

// The service from ntdll, which every process has loaded: only looked up,
// never loaded. Null where the system does not have it.
SystemDebugControlFn findSystemDebugControl();

// Enables "SeDebugPrivilege" on the process token. Returns 0 when it is
// enabled, otherwise the Win32 error that tells why not. Adjusting a token
// that lacks the privilege succeeds all the same; only the error
// ERROR_NOT_ALL_ASSIGNED (1300) it leaves behind says nothing was enabled.
std::uint32_t enableDebugPrivilege();

}  // namespace memory

#endif
