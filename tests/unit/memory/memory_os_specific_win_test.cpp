// Runs under Wine: the real MemoryOsSpecific against Wine's system services.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "memory/memory_os_specific.h"
#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/support/error_text.h"

namespace {

constexpr std::uint32_t kFirm = 0x4649524D;
constexpr NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);

template <class Fn>
Fn lookUp(const wchar_t* module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

// What the three read methods meet under Wine. Wine has the firmware-table
// interface, so reads take that method; but Wine's EnumSystemFirmwareTables
// lists no table of the 'FIRM' provider (it returns 0). The two other methods
// would fail as well: Wine has no \device\physicalmemory section
// (STATUS_OBJECT_NAME_NOT_FOUND) and no debugger read service
// (STATUS_NOT_IMPLEMENTED). Real Windows differs on all three.
TEST(MemoryOsSpecificWine, SystemServicesAsWineHasThem) {
    using EnumFn = UINT(WINAPI*)(DWORD, void*, DWORD);
    using GetFn = UINT(WINAPI*)(DWORD, DWORD, void*, DWORD);
    const auto enumTables = lookUp<EnumFn>(L"kernel32.dll", "EnumSystemFirmwareTables");
    ASSERT_NE(nullptr, enumTables);
    ASSERT_NE(nullptr, lookUp<GetFn>(L"kernel32.dll", "GetSystemFirmwareTable"));
    EXPECT_EQ(0u, enumTables(kFirm, nullptr, 0));

    using InitFn = VOID(NTAPI*)(UNICODE_STRING*, const WCHAR*);
    using OpenFn = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
    const auto init = lookUp<InitFn>(L"ntdll.dll", "RtlInitUnicodeString");
    const auto openSection = lookUp<OpenFn>(L"ntdll.dll", "NtOpenSection");
    ASSERT_NE(nullptr, init);
    ASSERT_NE(nullptr, openSection);
    UNICODE_STRING name;
    init(&name, L"\\device\\physicalmemory");
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.ObjectName = &name;
    attributes.Attributes = 0x40;
    HANDLE section = nullptr;
    EXPECT_EQ(kStatusObjectNameNotFound, openSection(&section, SECTION_MAP_READ, &attributes));

    using DebugFn = NTSTATUS(NTAPI*)(ULONG, void*, ULONG, void*, ULONG, ULONG*);
    const auto debugControl = lookUp<DebugFn>(L"ntdll.dll", "ZwSystemDebugControl");
    ASSERT_NE(nullptr, debugControl);
    std::uint8_t byte = 0;
    struct {
        ULONGLONG address;
        void* buffer;
        ULONG length;
    } request = {0xF0000, &byte, 1};
    ULONG returned = 0;
    EXPECT_EQ(kStatusNotImplemented, debugControl(10, &request, sizeof(request), nullptr, 0, &returned));
}

TEST(MemoryOsSpecificWine, ConstructsAndReadsThroughFirmwareTables) {
    memory::MemoryOsSpecific mem("\\Device\\PhysicalMemory");
    for (const std::uint64_t offset : {std::uint64_t{0xF0000}, std::uint64_t{0xE0000}, std::uint64_t{0x80000}}) {
        EXPECT_EQ(test_support::errorTextOf<memory::AccessError>([&] { mem.readByte(offset); }),
                  "EnumSystemFirmwareTables returned 0 for table size.")
            << std::hex << offset;
    }
    EXPECT_EQ(test_support::errorTextOf<smbios::NotImplemented>([&] { mem.writeByte(0xF0000, 1); }),
              "writing to physical memory is not implemented on Windows yet.");
}

}  // namespace
