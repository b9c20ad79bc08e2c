// Physical memory on Windows. Win32 and ntdll code only; the POSIX version
// lives in memory_os_specific_posix.cpp.
#include <windows.h>
#include <winternl.h>

#include "memory/debug_service_win.h"
#include "memory/firmware_tables.h"
#include "memory/memory_os_specific.h"
#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"

namespace memory {

namespace {

using NtOpenSectionFn = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using NtCloseFn = NTSTATUS(NTAPI*)(HANDLE);
using NtMapViewOfSectionFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, void**, ULONG_PTR, SIZE_T, LARGE_INTEGER*, SIZE_T*, DWORD,
                                              ULONG, ULONG);
using NtUnmapViewOfSectionFn = NTSTATUS(NTAPI*)(HANDLE, void*);
using RtlInitUnicodeStringFn = VOID(NTAPI*)(UNICODE_STRING*, const WCHAR*);
using EnumSystemFirmwareTablesFn = UINT(WINAPI*)(DWORD, void*, DWORD);
using GetSystemFirmwareTableFn = UINT(WINAPI*)(DWORD, DWORD, void*, DWORD);

// None of these is in every Windows version's import libraries (the native
// ones are not documented at all), so all are looked up by name. Shared by
// every object and filled again by each construction; null where missing.
struct SystemFunctions {
    NtOpenSectionFn ntOpenSection = nullptr;
    NtCloseFn ntClose = nullptr;
    NtMapViewOfSectionFn ntMapViewOfSection = nullptr;
    NtUnmapViewOfSectionFn ntUnmapViewOfSection = nullptr;
    RtlInitUnicodeStringFn rtlInitUnicodeString = nullptr;
    SystemDebugControlFn zwSystemDebugControl = nullptr;
    EnumSystemFirmwareTablesFn enumSystemFirmwareTables = nullptr;
    GetSystemFirmwareTableFn getSystemFirmwareTable = nullptr;
};

SystemFunctions systemFunctions;

template <class Fn>
Fn lookUp(HMODULE module, const char* name) {
    // Through void*: GetProcAddress's generic function type says nothing of the real one.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The native status or Win32 error behind a failure rides along as a named
// parameter: "ntstatus" or "last_error".
[[noreturn]] void throwAccessError(const char* message, const char* cause, std::uint32_t code) {
    AccessErrorImpl error(message);
    error.setParameter(cause, static_cast<int>(code));
    throw error;
}

constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr DWORD kViewShare = 1;

std::uint32_t enumerateFirmwareTables(std::uint32_t provider, void* buffer, std::uint32_t size) {
    return systemFunctions.enumSystemFirmwareTables(provider, buffer, size);
}

std::uint32_t getFirmwareTable(std::uint32_t provider, std::uint32_t id, void* buffer, std::uint32_t size) {
    return systemFunctions.getSystemFirmwareTable(provider, id, buffer, size);
}

HANDLE openPhysicalMemorySection() {
    if (systemFunctions.rtlInitUnicodeString == nullptr || systemFunctions.ntOpenSection == nullptr) return nullptr;
    UNICODE_STRING name;
    systemFunctions.rtlInitUnicodeString(&name, L"\\device\\physicalmemory");
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = nullptr;
    attributes.ObjectName = &name;
    attributes.Attributes = kObjCaseInsensitive;
    attributes.SecurityDescriptor = nullptr;
    attributes.SecurityQualityOfService = nullptr;
    HANDLE section = nullptr;
    if (!NT_SUCCESS(systemFunctions.ntOpenSection(&section, SECTION_MAP_READ, &attributes))) return nullptr;
    return section;
}

// Maps only as much of the section as the request needs, view by view. Only
// the offset's low 32 bits are used.
void readBySectionMapping(HANDLE section, std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) {
    if (buffer == nullptr) throw AccessErrorImpl("Error accessing buffer.");
    if (length == 0) return;
    if (systemFunctions.ntMapViewOfSection == nullptr || systemFunctions.ntUnmapViewOfSection == nullptr) {
        throw AccessErrorImpl("Error mapping physical memory.");
    }
    std::uint32_t position = static_cast<std::uint32_t>(offset);
    std::uint32_t copied = 0;
    std::uint32_t remaining = length;
    for (;;) {
        void* view = nullptr;
        LARGE_INTEGER sectionOffset;
        sectionOffset.QuadPart = position;
        SIZE_T viewSize = remaining;
        NTSTATUS status = systemFunctions.ntMapViewOfSection(section, GetCurrentProcess(), &view, 0, remaining,
                                                             &sectionOffset, &viewSize, kViewShare, 0, PAGE_READONLY);
        if (!NT_SUCCESS(status)) throwAccessError("Error mapping physical memory.", "ntstatus", status);
        // The system moved the view's start down to its allocation granularity.
        const std::uint32_t before = copied;
        if (static_cast<ULONGLONG>(sectionOffset.QuadPart) <= position) {
            SIZE_T index = position - static_cast<std::uint32_t>(sectionOffset.QuadPart);
            const std::uint8_t* bytes = static_cast<const std::uint8_t*>(view);
            while (index < viewSize && copied < length) buffer[copied++] = bytes[index++];
        }
        status = systemFunctions.ntUnmapViewOfSection(GetCurrentProcess(), view);
        if (!NT_SUCCESS(status)) throwAccessError("Error unmapping physical memory.", "ntstatus", status);
        if (copied == length) return;
        // A view that yields nothing would make this loop forever.
        if (copied == before) throw AccessErrorImpl("Error mapping physical memory.");
        position += copied - before;
        remaining = length - copied;
    }
}

void readByDebugControl(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) {
    if (buffer == nullptr && length > 0) throw AccessErrorImpl("Error accessing buffer.");
    PhysicalReadRequest request = {};
    request.address = static_cast<std::uint32_t>(offset);
    request.buffer = buffer;
    request.length = length;
    constexpr const char* kFailed = "Could not use Debug Sysctl to read physical memory.";
    if (systemFunctions.zwSystemDebugControl == nullptr) throw AccessErrorImpl(kFailed);
    ULONG returned = 0;
    const NTSTATUS status = systemFunctions.zwSystemDebugControl(kReadPhysicalMemory, &request, sizeof(request),
                                                                 nullptr, 0, &returned);
    if (!NT_SUCCESS(status)) throwAccessError(kFailed, "ntstatus", status);
}

}  // namespace

struct MemoryOsSpecific::OsHandle {
    HANDLE section = nullptr;
};

MemoryOsSpecific::MemoryOsSpecific(const std::string&) : handle_(new OsHandle) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (ntdll == nullptr || kernel32 == nullptr)
        throwAccessError("Could not load ntdll functions!", "last_error", GetLastError());

    systemFunctions.ntOpenSection = lookUp<NtOpenSectionFn>(ntdll, "NtOpenSection");
    systemFunctions.ntClose = lookUp<NtCloseFn>(ntdll, "NtClose");
    systemFunctions.ntMapViewOfSection = lookUp<NtMapViewOfSectionFn>(ntdll, "NtMapViewOfSection");
    systemFunctions.ntUnmapViewOfSection = lookUp<NtUnmapViewOfSectionFn>(ntdll, "NtUnmapViewOfSection");
    systemFunctions.rtlInitUnicodeString = lookUp<RtlInitUnicodeStringFn>(ntdll, "RtlInitUnicodeString");
    systemFunctions.zwSystemDebugControl = findSystemDebugControl();
    systemFunctions.enumSystemFirmwareTables = lookUp<EnumSystemFirmwareTablesFn>(kernel32, "EnumSystemFirmwareTables");
    systemFunctions.getSystemFirmwareTable = lookUp<GetSystemFirmwareTableFn>(kernel32, "GetSystemFirmwareTable");

    // The privilege lets the process open the physical-memory section and use
    // the debugger's read service. Whether it was granted shows only later,
    // when a read method fails.
    enableDebugPrivilege();
    handle_->section = openPhysicalMemorySection();
}

MemoryOsSpecific::~MemoryOsSpecific() {
    if (handle_->section != nullptr && systemFunctions.ntClose != nullptr) systemFunctions.ntClose(handle_->section);
    // The copies are process-wide: destroying any object empties them.
    releaseFirmwareTableCaches();
}

void MemoryOsSpecific::writeByte(std::uint64_t, std::uint8_t) {
    throw smbios::NotImplementedImpl("writing to physical memory is not implemented on Windows yet.");
}

// One method is chosen and there is no falling back: a system with the
// firmware-table interface is read through it alone.
void MemoryOsSpecific::readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) {
    if (systemFunctions.enumSystemFirmwareTables != nullptr && systemFunctions.getSystemFirmwareTable != nullptr) {
        readFirmwareTables(FirmwareTableFunctions{enumerateFirmwareTables, getFirmwareTable}, buffer, offset, length);
    } else if (handle_->section != nullptr) {
        readBySectionMapping(handle_->section, buffer, offset, length);
    } else {
        readByDebugControl(buffer, offset, length);
    }
}

}  // namespace memory
