#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory/memory_file.h"
#include "smbios/memory_exceptions.h"
#include "tests/unit/memory/memory_image.h"
#include "tests/unit/memory/update_blocker.h"
#include "tests/unit/support/error_text.h"

namespace {

using memory::MemoryFile;

std::string osText(int error) { return std::strerror(error); }

using test_support::errorTextOf;

TEST(MemoryFile, NamesThatCannotBeOpened) {
    EXPECT_EQ("File name passed in was null or zero-length.",
              errorTextOf<memory::AccessError>([] { MemoryFile file(""); }));
    const std::string missing = (std::filesystem::temp_directory_path() / "velmora-no-such-image.img").string();
    EXPECT_EQ("Unable to open memory. File: " + missing + ", OS Error: " + osText(ENOENT),
              errorTextOf<memory::AccessError>([&] { MemoryFile file(missing); }));
}

TEST(MemoryFile, ReadsAtImagePositions) {
    const MemoryImage image;
    MemoryFile file(image.name());
    struct Read {
        std::uint64_t offset;
        std::uint32_t length;
        std::uint64_t position;  // where in the image the bytes come from
    };
    const Read reads[] = {
        {0xF0000, 1, 0xF0000},     {0, 16, 0}, {MemoryImage::kSize - 16, 16, MemoryImage::kSize - 16},
        {0x1000F0010, 4, 0xF0010},  // only the low 32 bits position the file
        {0x12345, 0, 0},
    };
    for (const Read& r : reads) {
        std::vector<std::uint8_t> buffer(r.length + 1, 0xEE);
        file.readBlock(buffer.data(), r.offset, r.length);
        for (std::uint32_t i = 0; i < r.length; ++i) {
            EXPECT_EQ(MemoryImage::byteAt(r.position + i), buffer[i]) << std::hex << r.offset << "+" << i;
        }
        EXPECT_EQ(0xEE, buffer[r.length]) << "written past the block at " << std::hex << r.offset;
    }
    EXPECT_EQ(MemoryImage::byteAt(0xF0000), file.readByte(0xF0000));
}

TEST(MemoryFile, ReadsThatFail) {
    const MemoryImage image;
    MemoryFile file(image.name());
    std::uint8_t buffer[16];
    EXPECT_EQ(0u, errorTextOf<memory::AccessError>([&] {
                      file.readBlock(buffer, MemoryImage::kSize - 8, 16);
                  }).find("Read error trying to read memory. OS Error: "));
    EXPECT_EQ(0u, errorTextOf<memory::AccessError>([&] {
                      file.readByte(MemoryImage::kSize);
                  }).find("Read error trying to read memory. OS Error: "));
    // From 2 GiB on the 32-bit file position is negative.
    EXPECT_EQ(0u, errorTextOf<memory::OutOfBounds>([&] {
                      file.readByte(0x80000000);
                  }).find("Seek error trying to seek to memory location. OS Error: "));
    EXPECT_EQ(0u, errorTextOf<memory::OutOfBounds>([&] {
                      file.writeByte(0xFFFFFFFF, 1);
                  }).find("Seek error trying to seek to memory location. OS Error: "));
    // The file stays usable after each failure.
    EXPECT_EQ(MemoryImage::byteAt(0x10), file.readByte(0x10));
}

TEST(MemoryFile, WritesGoToTheFile) {
    const MemoryImage image;
    {
        MemoryFile file(image.name());
        const std::uint8_t before = file.readByte(0xF0001);
        file.writeByte(0xF0000, 0x5A);
        file.writeByte(0xF0002, 0xA5);
        EXPECT_EQ(0x5A, file.readByte(0xF0000));
        EXPECT_EQ(before, file.readByte(0xF0001));
        EXPECT_EQ(0xA5, image.storedAt(0xF0002));
    }
    EXPECT_EQ(0x5A, image.storedAt(0xF0000));
    EXPECT_EQ(MemoryImage::byteAt(0xF0001), image.storedAt(0xF0001));
}

// An image that cannot be opened for update fails the write and stays readable.
TEST(MemoryFile, WriteFailsWhenTheImageCannotBeReopened) {
    const MemoryImage image;
    MemoryFile file(image.name());
    const UpdateBlocker blocker(image.path());
    const std::string message = errorTextOf<memory::AccessError>([&] { file.writeByte(0x10, 1); });
    EXPECT_EQ(0u, message.find("Unable to open memory for writing. File: " + image.name() + ", OS Error: ")) << message;
    EXPECT_EQ(MemoryImage::byteAt(0x20), file.readByte(0x20));
}

}  // namespace
