#ifndef VELMORA_SMBIOS_MEMORY_EXCEPTIONS_H
#define VELMORA_SMBIOS_MEMORY_EXCEPTIONS_H

#include "smbios/exception.h"

namespace memory {

VELMORA_ERROR_FAMILY(MemoryException, ::smbios::IException);

// Physical memory or a memory image cannot be opened, read, written or mapped.
VELMORA_ERROR_TYPE(AccessError, MemoryException);
// A position in a memory image cannot be reached.
VELMORA_ERROR_TYPE(OutOfBounds, MemoryException);

}  // namespace memory

#endif
