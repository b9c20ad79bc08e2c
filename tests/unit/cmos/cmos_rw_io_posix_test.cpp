// The real CMOS ports on Linux, through /dev/port.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "cmos/cmos_rw_factory.h"
#include "cmos/cmos_rw_io.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/support/error_text.h"

namespace {

constexpr std::uint32_t kRtcIndex = 0x70;
constexpr std::uint32_t kRtcData = 0x71;
constexpr std::uint32_t kStatusRegisterB = 0x0B;

// Reads the RTC's status register B, which the clock keeps steady. Needs
// /dev/port and the right to open it (root); elsewhere construction must say
// why it failed, and the test is skipped.
TEST(CmosRWIoPosix, ReadsTheClocksStatusRegisterThroughDevPort) {
    const int probe = ::open("/dev/port", O_RDWR | O_CLOEXEC);
    const int openError = errno;
    if (probe < 0) {
        EXPECT_EQ(std::string("Error loading DLLs needed to call functions to read CMOS. /dev/port: ") +
                      std::strerror(openError),
                  test_support::errorTextOf<smbios::NotImplemented>([] { cmos::CmosRWIo io; }));
        GTEST_SKIP() << "/dev/port cannot be opened here (" << std::strerror(openError)
                     << "); run as root on a machine with one to read the real ports";
    }
    std::uint8_t index = kStatusRegisterB;
    std::uint8_t expected = 0;
    const bool direct = ::pwrite(probe, &index, 1, kRtcIndex) == 1 && ::pread(probe, &expected, 1, kRtcData) == 1;
    ::close(probe);
    ASSERT_TRUE(direct) << "the ports cannot be reached: " << std::strerror(errno);

    cmos::CmosRWIo io;
    EXPECT_EQ(expected, io.readByte(kRtcIndex, kRtcData, kStatusRegisterB));
    EXPECT_EQ(expected, io.readByte(kRtcIndex, kRtcData, kStatusRegisterB));
    EXPECT_THROW(io.readByte(0x10000, kRtcData, 0), smbios::NotImplemented) << "past the last I/O port";
}

// Writes themselves are exercised against a real CMOS in the virtual-machine
// stage (tests/vm); here only what needs no write to reach the hardware.
TEST(CmosRWIoPosix, AWriteBeyondTheLastPortFailsBeforeAnyAccess) {
    try {
        cmos::CmosRWIo io;
        EXPECT_THROW(io.writeByte(0x10000, kRtcData, 0x40, 0), smbios::NotImplemented);
    } catch (const smbios::NotImplemented& e) {
        GTEST_SKIP() << e.what();
    }
}

}  // namespace
