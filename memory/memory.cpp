#include "memory/memory.h"

namespace memory {

IMemory::~IMemory() = default;

}  // namespace memory
