#ifndef VELMORA_TESTS_UNIT_SUPPORT_FILES_H
#define VELMORA_TESTS_UNIT_SUPPORT_FILES_H

// Whole files read and written independently of the code under test.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

namespace test_support {

// The file's bytes as they are; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file with `content`, byte for byte, making the folders on its
// way; a file that cannot be written fails the test.
inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::error_code ignored;
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path(), ignored)) {
        std::filesystem::create_directories(path.parent_path(), ignored);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) ADD_FAILURE() << "could not write " << path.string();
}

}  // namespace test_support

#endif
