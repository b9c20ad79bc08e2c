#ifndef VELMORA_FUZZ_FUZZ_FILES_H
#define VELMORA_FUZZ_FUZZ_FILES_H

// The files a fuzz target hands to the code under test: one folder per
// process, made on first use and removed with everything in it when the
// process ends, so a run leaves nothing behind. And a quiet standard error
// for code that reports on it: a fuzzer would print millions of lines.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

inline const std::string& scratchFolder() {
    // Never destroyed: the exit handler below still needs it after the
    // statics are gone.
    static const std::string* const folder = [] {
        // In memory where the system offers it: a file rewritten on disk for
        // every input is flushed by some file systems, costing milliseconds.
        std::error_code error;
        std::string pattern = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
        pattern += "/velmora-fuzz-XXXXXX";
        const char* made = mkdtemp(&pattern[0]);
        if (made == nullptr) std::abort();
        auto* path = new std::string(made);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return path;
    }();
    return *folder;
}

inline std::string scratchFile(const char* name) { return scratchFolder() + "/" + name; }

// Replaces the file's content with the bytes; aborts when it cannot.
inline void writeScratchFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

// Standard error goes to the null device from the first call on. Only the
// product's own lines: the sanitizers and the fuzzer write to the
// descriptor, not through this stream.
inline void quietStandardError() {
    static const bool quiet = [] {
        std::FILE* null = std::fopen("/dev/null", "w");
        if (null != nullptr) stderr = null;
        return null != nullptr;
    }();
    (void)quiet;
}

}  // namespace fuzz

#endif
