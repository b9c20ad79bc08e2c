#ifndef VELMORA_MEMORY_MEMORY_FACTORY_IMPL_H
#define VELMORA_MEMORY_MEMORY_FACTORY_IMPL_H

#include <memory>

#include "factory/tfactory.h"
#include "memory/memory_factory.h"

namespace memory {

class MemoryFactoryImpl : public factory::TFactory<MemoryFactory> {
public:
    MemoryFactoryImpl();
    // Destroys the cached product.
    ~MemoryFactoryImpl() override;

    IMemory* getSingleton() override;
    // Throws smbios::NotImplemented for a mode other than DefaultMode and UnitTestMode.
    IMemory* makeNew() override;

private:
    static inline std::unique_ptr<IMemory> singleton_;
};

}  // namespace memory

#endif
