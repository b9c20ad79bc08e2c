// What both platforms' physical memory share; the rest is in
// memory_os_specific_win.cpp and memory_os_specific_posix.cpp.
#include "memory/memory_os_specific.h"

namespace memory {

std::uint8_t MemoryOsSpecific::readByte(std::uint64_t offset) {
    std::uint8_t value = 0;
    readBlock(&value, offset, 1);
    return value;
}

}  // namespace memory
