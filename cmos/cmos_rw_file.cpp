#include "cmos/cmos_rw_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "smbios/smbios_exceptions.h"

namespace cmos {

namespace {

constexpr const char* kCannotRead = "Internal Error: could not cmos file for reading.";
constexpr const char* kCannotWrite = "Internal Error: could not cmos file for writing.";
constexpr std::uint8_t kUnpopulated = 0xFF;

std::uint64_t filePosition(std::uint32_t indexPort, std::uint32_t offset) {
    return std::uint64_t{indexPort} * 256 + offset;
}

// The I/O space has 65536 ports, so an image has at most 65536 pages. The
// limit also keeps positions inside the long the standard streams seek with
// (32 bits on Windows), and a write far out from filling a huge gap.
constexpr std::uint64_t kImageLimit = std::uint64_t{0x10000} * 256;

bool reachable(std::uint64_t position) { return position < kImageLimit; }

class File {
public:
    File(const std::string& name, const char* mode) : stream_(std::fopen(name.c_str(), mode)) {}
    ~File() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    std::FILE* get() const { return stream_; }
    // Closes now, so that a failure to store buffered bytes is seen.
    bool close() {
        const int result = std::fclose(stream_);
        stream_ = nullptr;
        return result == 0;
    }

private:
    std::FILE* stream_;
};

}  // namespace

CmosRWFile::CmosRWFile(const std::string& fileName) : fileName_(fileName) {}

CmosRWFile::~CmosRWFile() = default;

std::uint8_t CmosRWFile::readByte(std::uint32_t indexPort, std::uint32_t, std::uint32_t offset) {
    File file(fileName_, "rb");
    if (file.get() == nullptr) throw smbios::InternalErrorImpl(kCannotRead);
    const std::uint64_t position = filePosition(indexPort, offset);
    if (!reachable(position) || std::fseek(file.get(), static_cast<long>(position), SEEK_SET) != 0) {
        return kUnpopulated;
    }
    const int byte = std::fgetc(file.get());
    return byte == EOF ? kUnpopulated : static_cast<std::uint8_t>(byte);
}

void CmosRWFile::writeByte(std::uint32_t indexPort, std::uint32_t, std::uint32_t offset, std::uint8_t value) {
    checkWrite(indexPort, offset, 1);
    {
        File file(fileName_, "r+b");
        if (file.get() == nullptr) throw smbios::InternalErrorImpl(kCannotWrite);
        const std::uint64_t position = filePosition(indexPort, offset);
        if (!reachable(position) || std::fseek(file.get(), 0, SEEK_END) != 0) {
            throw smbios::InternalErrorImpl(kCannotWrite);
        }
        const long size = std::ftell(file.get());
        if (size < 0) throw smbios::InternalErrorImpl(kCannotWrite);
        // Seeking past the end and writing would fill the gap with zeros, and
        // bytes that read as 0xFF before would then read as 0. The gap gets
        // the value those bytes had.
        // A page at a time: a write at the far end of the image has a gap of
        // up to 16 MiB behind the file's end.
        std::uint8_t page[256];
        std::memset(page, kUnpopulated, sizeof page);
        for (std::uint64_t gap = static_cast<std::uint64_t>(size); gap < position;) {
            const std::size_t count = position - gap < sizeof page ? static_cast<std::size_t>(position - gap)
                                                                   : sizeof page;
            if (std::fwrite(page, 1, count, file.get()) != count) throw smbios::InternalErrorImpl(kCannotWrite);
            gap += count;
        }
        if (std::fseek(file.get(), static_cast<long>(position), SEEK_SET) != 0 ||
            std::fputc(value, file.get()) == EOF || !file.close()) {
            throw smbios::InternalErrorImpl(kCannotWrite);
        }
    }
    std::fflush(nullptr);
    byteWritten(indexPort, offset);
}

}  // namespace cmos
