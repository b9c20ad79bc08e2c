#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "memory/memory_os_specific.h"
#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/support/error_text.h"

namespace {

// Reading physical memory needs /dev/mem and the right to open it; without
// them every read says why, and construction still succeeds.
TEST(MemoryOsSpecificPosix, ReadsThroughDevMem) {
    memory::MemoryOsSpecific mem("\\Device\\PhysicalMemory");
    const int probe = ::open("/dev/mem", O_RDONLY | O_CLOEXEC);
    const int openError = errno;
    if (probe < 0) {
        try {
            mem.readByte(0xF0000);
            ADD_FAILURE() << "read without /dev/mem succeeded";
        } catch (const memory::AccessError& e) {
            EXPECT_EQ(
                std::string("Could not open /dev/mem to read physical memory. OS Error: ") + std::strerror(openError),
                e.what());
        }
        return;
    }
    // A machine that lets us in: the BIOS area reads, or the kernel refuses
    // the range with an AccessError; both are fine, nothing else is.
    std::uint8_t expected[16] = {};
    const bool readable = ::pread(probe, expected, sizeof(expected), 0xF0000) == sizeof(expected);
    ::close(probe);
    std::uint8_t buffer[16] = {};
    try {
        mem.readBlock(buffer, 0xF0000, sizeof(buffer));
        EXPECT_TRUE(readable);
        EXPECT_EQ(0, std::memcmp(expected, buffer, sizeof(buffer)));
    } catch (const memory::AccessError& e) {
        EXPECT_FALSE(readable) << e.what();
    }
}

TEST(MemoryOsSpecificPosix, WritesAreNotSupported) {
    memory::MemoryOsSpecific mem("");
    EXPECT_EQ(test_support::errorTextOf<smbios::NotImplemented>([&] { mem.writeByte(0xF0000, 1); }),
              "writing to physical memory is not implemented on Linux yet.");
}

}  // namespace
