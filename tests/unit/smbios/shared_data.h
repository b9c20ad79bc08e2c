#ifndef VELMORA_TESTS_UNIT_SMBIOS_SHARED_DATA_H
#define VELMORA_TESTS_UNIT_SMBIOS_SHARED_DATA_H

#include <cstdlib>
#include <filesystem>
#include <string>

namespace smbios_test {

// The folder of real machines' SMBIOS dumps, beside the repository; empty
// when this checkout has none. CTest passes the shared folder's host path;
// a Windows test under Wine reaches the host's root as drive Z:.
inline std::filesystem::path sharedSmbiosData() {
    const char* shared = std::getenv("VELMORA_SHARED_DIR");
    if (shared == nullptr || shared[0] == '\0') return {};
    std::string path = shared;
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    std::filesystem::path folder = std::filesystem::path(path) / "data" / "smbios";
    std::error_code error;
    return std::filesystem::is_directory(folder / "dumps", error) ? folder : std::filesystem::path();
}

}  // namespace smbios_test

#endif
