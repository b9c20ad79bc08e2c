#ifndef VELMORA_MEMORY_DEBUG_SERVICE_WIN_H
#define VELMORA_MEMORY_DEBUG_SERVICE_WIN_H

// The kernel debugger's service and the privilege that opens it, shared by
// the two readers that need them on Windows: physical memory (memory/) and
// the CMOS ports (cmos/). Included by Windows-only sources; it needs no
// system header itself.

#include <cstdint>

namespace memory {

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
