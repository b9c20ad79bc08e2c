#ifndef VELMORA_MEMORY_MEMORY_FILE_H
#define VELMORA_MEMORY_MEMORY_FILE_H

#include <cstdio>
#include <string>

#include "memory/memory.h"

namespace memory {

// A memory image in a file: offset N of memory is byte N of the file. Opened
// for reading; reopened for update on the first write.
class MemoryFile : public IMemory {
public:
    // Throws AccessError when the name is empty or the file cannot be opened.
    explicit MemoryFile(const std::string& fileName);
    ~MemoryFile() override;

    VELMORA_MEMORY_OVERRIDES

private:
    void seek(std::uint64_t offset);

    std::string fileName_;
    std::FILE* stream_ = nullptr;
    bool reopenedForUpdate_ = false;
};

}  // namespace memory

#endif
