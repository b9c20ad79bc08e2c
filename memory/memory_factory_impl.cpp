#include "memory/memory_factory_impl.h"

#include "memory/memory_file.h"
#include "memory/memory_os_specific.h"
#include "smbios/smbios_exceptions.h"

namespace memory {

MemoryFactory* MemoryFactory::getFactory() { return factory::TFactory<MemoryFactory>::instance<MemoryFactoryImpl>(); }

MemoryFactoryImpl::MemoryFactoryImpl() { setParameter("memFile", std::string("\\Device\\PhysicalMemory")); }

MemoryFactoryImpl::~MemoryFactoryImpl() { singleton_.reset(); }

IMemory* MemoryFactoryImpl::getSingleton() {
    if (!singleton_) singleton_.reset(makeNew());
    return singleton_.get();
}

IMemory* MemoryFactoryImpl::makeNew() {
    switch (getMode()) {
    case factory::DefaultMode:
        return new MemoryOsSpecific(getParameterString("memFile"));
    case factory::UnitTestMode:
        return new MemoryFile(getParameterString("memFile"));
    default:
        throw smbios::NotImplementedImpl("Unknown Memory mode requested.");
    }
}

}  // namespace memory
