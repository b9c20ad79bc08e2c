#include "tests/unit/memory/update_blocker.h"

#include <system_error>

UpdateBlocker::UpdateBlocker(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

UpdateBlocker::~UpdateBlocker() = default;
