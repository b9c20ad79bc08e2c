#ifndef VELMORA_TESTS_UNIT_MEMORY_UPDATE_BLOCKER_H
#define VELMORA_TESTS_UNIT_MEMORY_UPDATE_BLOCKER_H

#include <filesystem>

// While it lives, a file that is already open for reading can no longer be
// opened for update. POSIX: the file is removed (open streams keep working;
// tests run as root, so permissions would not stop the open). Windows: the
// file is held open with write sharing denied.
class UpdateBlocker {
public:
    explicit UpdateBlocker(const std::filesystem::path& file);
    UpdateBlocker(const UpdateBlocker&) = delete;
    UpdateBlocker& operator=(const UpdateBlocker&) = delete;
    ~UpdateBlocker();

private:
    void* handle_ = nullptr;
};

#endif
