#ifndef VELMORA_TESTS_UNIT_SUPPORT_TEMP_PATH_H
#define VELMORA_TESTS_UNIT_SUPPORT_TEMP_PATH_H

// Temporary files and folders for tests: unique names below the system's
// temporary folder, removed again when the owning object goes.

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace test_support {

// A path below the temporary folder that no other call (of this or another
// test program) yields: `stem`, a clock reading and a serial number.
inline std::filesystem::path uniqueTempPath(const std::string& stem) {
    static int serial = 0;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::filesystem::temp_directory_path() /
           ("velmora-" + stem + "-" + std::to_string(ticks) + "-" + std::to_string(++serial));
}

// Owns a path below the temporary folder: a file or a folder the test makes
// there (a folder is made at once with `Kind::Folder`). Whatever is at the
// path is removed, with its contents, when the object goes.
class TempPath {
public:
    enum class Kind { File, Folder };

    explicit TempPath(const std::string& stem, Kind kind = Kind::Folder, const std::string& suffix = "")
        : path_(uniqueTempPath(stem) += suffix) {
        if (kind == Kind::Folder) std::filesystem::create_directories(path_);
    }
    ~TempPath() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string string() const { return path_.string(); }
    // A path inside the folder.
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace test_support

#endif
