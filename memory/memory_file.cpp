#include "memory/memory_file.h"

#include <cerrno>
#include <cstring>

#include "smbios/memory_exceptions.h"

namespace memory {

namespace {

// The system's text for the current error number. errno is cleared before
// each file operation, so a stale number from elsewhere is never reported.
std::string osErrorText() { return std::strerror(errno); }

}  // namespace

MemoryFile::MemoryFile(const std::string& fileName) : fileName_(fileName) {
    if (fileName_.empty()) throw AccessErrorImpl("File name passed in was null or zero-length.");
    errno = 0;
    stream_ = std::fopen(fileName_.c_str(), "rb");
    if (stream_ == nullptr) {
        AccessErrorImpl error("Unable to open memory. File: %(file)s, OS Error: %(err)s");
        error.setParameter("file", fileName_);
        error.setParameter("err", osErrorText());
        throw error;
    }
}

MemoryFile::~MemoryFile() {
    if (stream_ != nullptr) std::fclose(stream_);
}

std::uint8_t MemoryFile::readByte(std::uint64_t offset) {
    std::uint8_t value = 0;
    readBlock(&value, offset, 1);
    return value;
}

// Image positions are 32-bit: the offset's low 32 bits, taken as a signed
// file position, so offsets from 2 GiB on fail to seek.
void MemoryFile::seek(std::uint64_t offset) {
    const long position = static_cast<std::int32_t>(static_cast<std::uint32_t>(offset));
    errno = 0;
    if (std::fseek(stream_, position, SEEK_SET) != 0) {
        OutOfBoundsImpl error("Seek error trying to seek to memory location. OS Error: %(err)s");
        error.setParameter("err", osErrorText());
        throw error;
    }
}

void MemoryFile::readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) {
    if (buffer == nullptr && length > 0) throw AccessErrorImpl("Error accessing buffer.");
    seek(offset);
    errno = 0;
    if (std::fread(buffer, 1, length, stream_) != length) {
        AccessErrorImpl error("Read error trying to read memory. OS Error: %(err)s");
        error.setParameter("err", osErrorText());
        throw error;
    }
}

void MemoryFile::writeByte(std::uint64_t offset, std::uint8_t value) {
    if (!reopenedForUpdate_) {
        // The read stream is given up only once the update stream is open, so
        // a file that cannot be opened for update stays readable.
        errno = 0;
        std::FILE* updateStream = std::fopen(fileName_.c_str(), "r+b");
        if (updateStream == nullptr) {
            AccessErrorImpl error("Unable to open memory for writing. File: %(file)s, OS Error: %(err)s");
            error.setParameter("file", fileName_);
            error.setParameter("err", osErrorText());
            throw error;
        }
        std::fclose(stream_);
        stream_ = updateStream;
        reopenedForUpdate_ = true;
    }
    seek(offset);
    errno = 0;
    // Flushed at once, so a failing write is reported by the call that made it.
    if (std::fwrite(&value, 1, 1, stream_) != 1 || std::fflush(stream_) != 0) {
        AccessErrorImpl error("Error trying to write memory. OS Error: %(err)s");
        error.setParameter("err", osErrorText());
        throw error;
    }
}

}  // namespace memory
