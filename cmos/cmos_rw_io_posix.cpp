// CMOS ports on Linux, through /dev/port: a byte written at file position p
// goes out on I/O port p, a byte read comes in from it. Needs the right to
// open the device (root with raw I/O capability).
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

void CmosRWIo::writeByte(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t) {
    throw smbios::NotImplementedImpl("writing to CMOS ports is not implemented on Linux yet.");
}

}  // namespace cmos
