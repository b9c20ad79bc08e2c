// Runs under Wine: the real CmosRWIo against Wine's system services.
#include <windows.h>

#include <cstdint>

#include <gtest/gtest.h>

#include "cmos/cmos_rw_factory.h"
#include "cmos/cmos_rw_io.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/support/error_text.h"

namespace {

constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);

// Wine has ZwSystemDebugControl and grants the debug privilege, so an
// accessor is made; but the service itself is not implemented there
// (STATUS_NOT_IMPLEMENTED), so every port read fails. Real Windows with the
// kernel debugger enabled reads the ports.
TEST(CmosRWIoWine, ConstructsButThePortsCannotBeReached) {
    using DebugFn = LONG(NTAPI*)(ULONG, void*, ULONG, void*, ULONG, ULONG*);
    const auto debugControl = reinterpret_cast<DebugFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "ZwSystemDebugControl")));
    ASSERT_NE(nullptr, debugControl);
    std::uint8_t byte = 0x0B;
    struct {
        ULONGLONG address;
        void* buffer;
        ULONG length, interfaceType, busNumber, addressSpace;
    } request = {0x70, &byte, 1, 1, 0, 1};
    ULONG returned = 0;
    EXPECT_EQ(kStatusNotImplemented, debugControl(15, &request, sizeof(request), nullptr, 0, &returned));

    cmos::CmosRWFactory::getFactory()->reset();
    cmos::ICmosRW* io = cmos::CmosRWFactory::getFactory()->getSingleton();
    ASSERT_NE(nullptr, dynamic_cast<cmos::CmosRWIo*>(io));
    EXPECT_EQ("", test_support::errorTextOf<smbios::NotImplemented>([&] { io->readByte(0x70, 0x71, 0x0B); }))
        << "a port read under Wine";
    EXPECT_EQ("", test_support::errorTextOf<smbios::NotImplemented>([&] { io->writeByte(0x70, 0x71, 0x0B, 0); }))
        << "a port write under Wine";
    cmos::CmosRWFactory::getFactory()->reset();
}

}  // namespace
