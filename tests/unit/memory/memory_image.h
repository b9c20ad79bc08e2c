#ifndef VELMORA_TESTS_UNIT_MEMORY_MEMORY_IMAGE_H
#define VELMORA_TESTS_UNIT_MEMORY_MEMORY_IMAGE_H

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "tests/unit/support/temp_path.h"

// A generated memory image in a temporary file, removed again at the end.
class MemoryImage {
public:
    static constexpr std::uint32_t kSize = 0x100000;

    // The byte at each position: varies with both address bytes, so a read
    // from the wrong place shows.
    static std::uint8_t byteAt(std::uint64_t position) {
        return static_cast<std::uint8_t>(position * 7 + (position >> 8) * 13 + (position >> 16));
    }

    MemoryImage() {
        path_ = test_support::uniqueTempPath("memory") += ".img";
        std::vector<char> bytes(kSize);
        for (std::uint32_t i = 0; i < kSize; ++i) bytes[i] = static_cast<char>(byteAt(i));
        std::ofstream out(path_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    ~MemoryImage() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    std::string name() const { return path_.string(); }

    // The byte as stored in the file now, read independently of the code under test.
    std::uint8_t storedAt(std::uint64_t position) const {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(position));
        return static_cast<std::uint8_t>(in.get());
    }

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

#endif
