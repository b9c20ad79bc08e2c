// Physical memory on Linux and other POSIX systems: /dev/mem.
#include "memory/memory_os_specific.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"

namespace memory {

struct MemoryOsSpecific::OsHandle {
    int fd = -1;
    int openError = 0;  // errno of the failed open, reported by each read
};

MemoryOsSpecific::MemoryOsSpecific(const std::string&) : handle_(new OsHandle) {
    handle_->fd = ::open("/dev/mem", O_RDONLY | O_CLOEXEC);
    if (handle_->fd < 0) handle_->openError = errno;
}

MemoryOsSpecific::~MemoryOsSpecific() {
    if (handle_->fd >= 0) ::close(handle_->fd);
}

void MemoryOsSpecific::writeByte(std::uint64_t, std::uint8_t) {
    throw smbios::NotImplementedImpl("writing to physical memory is not implemented on Linux yet.");
}

void MemoryOsSpecific::readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) {
    if (buffer == nullptr && length > 0) throw AccessErrorImpl("Error accessing buffer.");
    if (handle_->fd < 0) {
        AccessErrorImpl error("Could not open /dev/mem to read physical memory. OS Error: %(err)s");
        error.setParameter("err", std::string(std::strerror(handle_->openError)));
        throw error;
    }
    std::uint32_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(handle_->fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (got > 0) {
            done += static_cast<std::uint32_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        AccessErrorImpl error("Could not read physical memory from /dev/mem. OS Error: %(err)s");
        error.setParameter("err", std::string(got == 0 ? "end of memory" : std::strerror(errno)));
        throw error;
    }
}

}  // namespace memory
