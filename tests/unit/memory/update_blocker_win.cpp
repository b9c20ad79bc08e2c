#include <windows.h>

#include "tests/unit/memory/update_blocker.h"

UpdateBlocker::UpdateBlocker(const std::filesystem::path& file) {
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) handle_ = handle;
}

UpdateBlocker::~UpdateBlocker() {
    if (handle_ != nullptr) CloseHandle(handle_);
}
