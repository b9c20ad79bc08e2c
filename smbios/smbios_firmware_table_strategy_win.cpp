// The firmware-table interface of Windows: Win32 only.
#include <windows.h>

#include <memory>
#include <new>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

namespace {

using GetSystemFirmwareTableFunction = UINT(WINAPI*)(DWORD provider, DWORD tableId, PVOID buffer, DWORD size);

constexpr DWORD kRawSmbiosProvider = 0x52534D42;  // 'RSMB'

// Looked up once per process (the interface is missing on old systems, so it
// is not linked); a failed lookup is tried again next time.
GetSystemFirmwareTableFunction getSystemFirmwareTable = nullptr;

GetSystemFirmwareTableFunction lookUpFirmwareTableFunction() {
    if (getSystemFirmwareTable != nullptr) return getSystemFirmwareTable;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) throw ParseExceptionImpl("Could not load dll functions.");
    FARPROC function = GetProcAddress(kernel, "GetSystemFirmwareTable");
    if (function == nullptr) throw ParseExceptionImpl("Could not access GetSystemFirmwareTable() API.");
    getSystemFirmwareTable = reinterpret_cast<GetSystemFirmwareTableFunction>(reinterpret_cast<void*>(function));
    return getSystemFirmwareTable;
}

}  // namespace

bool SmbiosWinGetFirmwareTableStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool) {
    GetSystemFirmwareTableFunction fetch = lookUpFirmwareTableFunction();
    const UINT needed = fetch(kRawSmbiosProvider, 0, nullptr, 0);
    if (static_cast<int>(needed) <= 0)
        throw ParseExceptionImpl("GetSystemFirmwareTable returned 0 for table length.");

    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[needed]());
    if (!data) throw ParseExceptionImpl("Failed to allocate memory for Firmware table.");
    fetch(kRawSmbiosProvider, 0, data.get(), needed);

    SmbiosEntryPoint filled = entryPoint;
    unpackRawSmbiosData(data.get(), needed, filled);
    entryPoint = filled;
    table.data = std::move(data);
    table.size = needed;
    return true;
}

}  // namespace smbios
