#ifndef VELMORA_MEMORY_MEMORY_OS_SPECIFIC_H
#define VELMORA_MEMORY_MEMORY_OS_SPECIFIC_H

#include <memory>
#include <string>

#include "memory/memory.h"

namespace memory {

// The running machine's physical memory, read through the operating system.
// Windows: the firmware-table interface where the system has it, else the
// physical-memory section, else the kernel debugger's read service.
// Linux: /dev/mem. Writing is not supported on either: writeByte always
// throws smbios::NotImplemented.
class MemoryOsSpecific : public IMemory {
public:
    // `fileName` is accepted for symmetry with MemoryFile and not used.
    // Failing to reach physical memory is not an error here; reads report it.
    explicit MemoryOsSpecific(const std::string& fileName);
    ~MemoryOsSpecific() override;

    VELMORA_MEMORY_OVERRIDES

private:
    // The opened handle of physical memory, defined by the platform's source.
    struct OsHandle;
    std::unique_ptr<OsHandle> handle_;
};

}  // namespace memory

#endif
