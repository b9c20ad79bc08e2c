// Runs under Wine: the real CmosRWIo against Wine's system services.
#include <windows.h>

#include <cstdint>

#include <gtest/gtest.h>

#include "cmos/cmos_rw_factory.h"
#include "cmos/cmos_rw_io.h"
#include "memory/debug_service_win.h"
#include "smbios/error_description.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/support/error_text.h"

namespace {

constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);

// Wine has ZwSystemDebugControl and grants the debug privilege, so an
// accessor is made; but the service itself is not implemented there
// (STATUS_NOT_IMPLEMENTED), so every port read fails, and says with which
// status. Real Windows with the kernel debugger enabled reads the ports.
TEST(CmosRWIoWine, ConstructsButThePortsCannotBeReached) {
    EXPECT_EQ(0u, memory::enableDebugPrivilege());
    const memory::SystemDebugControlFn debugControl = memory::findSystemDebugControl();
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
    try {
        io->readByte(0x70, 0x71, 0x0B);
        ADD_FAILURE() << "a port read succeeded under Wine";
    } catch (const smbios::NotImplemented& e) {
        EXPECT_STREQ("", e.what());
        EXPECT_EQ(kStatusNotImplemented, dynamic_cast<const smbios::IErrorParameters&>(e).getParameterNum("ntstatus"));
        EXPECT_EQ("Not available on this machine. (ntstatus 0xC0000002)", smbios::summary(e));
    }
    EXPECT_EQ("", test_support::errorTextOf<smbios::NotImplemented>([&] { io->writeByte(0x70, 0x71, 0x0B, 0); }))
        << "a port write under Wine";
    cmos::CmosRWFactory::getFactory()->reset();
}

}  // namespace
