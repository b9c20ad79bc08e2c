// CMOS ports on Linux, through /dev/port: a byte written at file position p
// goes out on I/O port p, a byte read comes in from it. Needs the right to
// open the device (root with raw I/O capability).
//
// Why /dev/port and not a kernel interface: /dev/nvram rewrites the standard
// checksum at 2Eh/2Fh by its own rule and refuses every write while that
// checksum is off (firmware may leave it at zero, and token structures may
// declare other checksums over those bytes); the clock driver's nvmem file
// reaches only 0Eh-7Fh (the second bank only where the firmware declares its
// ports), skips the alarm and century registers without an error, and takes
// its lock per call, so a token write and its checksum repairs are not one
// locked step there either.
//
// The race: the kernel's clock driver selects registers through port 70h
// under a lock user space cannot take (reading the time, the periodic clock
// synchronisation, clock interrupts). Should it select a register between our
// index and data accesses, our access reaches its register instead of ours.
// Every write is therefore read back: a byte that does not read back as
// written fails the write, and the caller undoes what it already changed. A
// stray write into the kernel's register cannot be detected; the window is
// two port accesses wide.
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cmos/cmos_rw_io.h"
#include "smbios/smbios_exceptions.h"

namespace cmos {

namespace {

constexpr std::uint32_t kLastPort = 0xFFFF;

[[noreturn]] void throwWithOsError(const char* message, int error) {
    smbios::NotImplementedImpl failure(message);
    failure.setParameter("err", std::string(std::strerror(error)));
    throw failure;
}

// One byte at a port. A short transfer at a valid port does not happen; it
// is reported like a failing one.
bool transfer(int device, std::uint32_t port, std::uint8_t* byte, bool out) {
    if (port > kLastPort) {
        errno = EINVAL;
        return false;
    }
    for (;;) {
        const ssize_t done = out ? ::pwrite(device, byte, 1, static_cast<off_t>(port))
                                 : ::pread(device, byte, 1, static_cast<off_t>(port));
        if (done == 1) return true;
        if (done < 0 && errno == EINTR) continue;
        if (done >= 0) errno = EIO;
        return false;
    }
}

std::string hex(std::uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    if (text.size() < 2) text.insert(text.begin(), '0');
    return "0x" + text;
}

}  // namespace

CmosRWIo::CmosRWIo() {
    portDevice_ = ::open("/dev/port", O_RDWR | O_CLOEXEC);
    if (portDevice_ < 0) {
        throwWithOsError("Error loading DLLs needed to call functions to read CMOS. /dev/port: %(err)s", errno);
    }
}

CmosRWIo::~CmosRWIo() {
    if (portDevice_ >= 0) ::close(portDevice_);
}

std::uint8_t CmosRWIo::readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) {
    std::uint8_t index = static_cast<std::uint8_t>(offset);
    std::uint8_t value = 0;
    if (!transfer(portDevice_, indexPort, &index, true) || !transfer(portDevice_, dataPort, &value, false)) {
        throwWithOsError("Could not read CMOS through /dev/port. OS Error: %(err)s", errno);
    }
    return value;
}

void CmosRWIo::writeByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset, std::uint8_t value) {
    checkWrite(indexPort, offset, 1);
    std::uint8_t index = static_cast<std::uint8_t>(offset);
    std::uint8_t byte = value;
    if (!transfer(portDevice_, indexPort, &index, true) || !transfer(portDevice_, dataPort, &byte, true)) {
        throwWithOsError("Could not write CMOS through /dev/port. OS Error: %(err)s", errno);
    }
    const std::uint8_t stored = readByte(indexPort, dataPort, offset);
    if (stored != value) {
        recordWrite(indexPort, offset);
        smbios::InternalErrorImpl failure(
            "The CMOS byte at offset %(offset)s behind index port %(port)s reads %(stored)s after %(value)s was "
            "written to it. No CMOS answers behind these ports (an absent bank reads 0xff), or another access "
            "to the ports came in between.");
        failure.setParameter("offset", hex(offset));
        failure.setParameter("port", hex(indexPort));
        failure.setParameter("stored", hex(stored));
        failure.setParameter("value", hex(value));
        throw failure;
    }
    byteWritten(indexPort, offset);
}

}  // namespace cmos
