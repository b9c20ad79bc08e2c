#ifndef VELMORA_MEMORY_MEMORY_FACTORY_H
#define VELMORA_MEMORY_MEMORY_FACTORY_H

#include "factory/ifactory.h"
#include "memory/memory.h"

namespace memory {

// The process-wide source of IMemory objects. DefaultMode reads the machine's
// physical memory; UnitTestMode reads the image file named by the string
// parameter "memFile".
class MemoryFactory : public virtual factory::IFactory {
public:
    // Created on first use; never owned by the caller.
    static MemoryFactory* getFactory();

    // The cached product, built on first call; not owned by the caller.
    virtual IMemory* getSingleton() = 0;
    // A new product for the current mode, owned by the caller.
    virtual IMemory* makeNew() = 0;
};

}  // namespace memory

#endif
