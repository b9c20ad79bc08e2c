// The firmware-table interface of Windows: Win32 only. What the calls return
// is checked by fetchRawSmbiosData and unpacked by unpackRawSmbiosData, plain
// code in raw_smbios_data.cpp.
#include <windows.h>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

namespace {

using GetSystemFirmwareTableFunction = UINT(WINAPI*)(DWORD provider, DWORD tableId, PVOID buffer, DWORD size);

constexpr DWORD kRawSmbiosProvider = 0x52534D42;  // 'RSMB'

// Looked up once per process (the interface is missing on old systems, so it
// is not linked); a failed lookup is tried again next time.
GetSystemFirmwareTableFunction getSystemFirmwareTable = nullptr;

[[noreturn]] void throwLookUpError(const char* message) {
    ParseExceptionImpl error(message);
    error.setParameter("last_error", static_cast<int>(GetLastError()));
    throw error;
}

GetSystemFirmwareTableFunction lookUpFirmwareTableFunction() {
    if (getSystemFirmwareTable != nullptr) return getSystemFirmwareTable;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) throwLookUpError("Could not load dll functions.");
    FARPROC function = GetProcAddress(kernel, "GetSystemFirmwareTable");
    if (function == nullptr) throwLookUpError("Could not access GetSystemFirmwareTable() API.");
    getSystemFirmwareTable = reinterpret_cast<GetSystemFirmwareTableFunction>(reinterpret_cast<void*>(function));
    return getSystemFirmwareTable;
}

}  // namespace

bool SmbiosWinGetFirmwareTableStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool) {
    const GetSystemFirmwareTableFunction fetch = lookUpFirmwareTableFunction();
    RawSmbiosSource source;
    source.getTable = [fetch](void* buffer, std::uint32_t size) {
        return static_cast<std::uint32_t>(fetch(kRawSmbiosProvider, 0, buffer, size));
    };
    source.lastError = [] { return static_cast<std::uint32_t>(GetLastError()); };
    TableBuffer fetched = fetchRawSmbiosData(source);

    SmbiosEntryPoint filled = entryPoint;
    unpackRawSmbiosData(fetched.data.get(), fetched.size, filled);
    entryPoint = filled;
    table = std::move(fetched);
    return true;
}

}  // namespace smbios
