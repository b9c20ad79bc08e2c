#ifndef VELMORA_SMBIOS_SMBIOS_FACTORY_H
#define VELMORA_SMBIOS_SMBIOS_FACTORY_H

#include <memory>

#include "factory/ifactory.h"
#include "factory/tfactory.h"
#include "smbios/smbios_table.h"

namespace smbios {

// The process-wide source of the SMBIOS table. Parameters: "strictValidation"
// (nonzero: the memory strategy accepts only a fully valid entry point) and
// "offset" (nonzero: the one physical address where the entry point is).
// DefaultMode reads the machine; UnitTestMode reads only memory, which then
// follows the memory factory's own mode.
class SmbiosFactory : public virtual factory::IFactory {
public:
    static SmbiosFactory* getFactory();
    // The shared table, built on first call; never deleted by the caller.
    virtual ISmbiosTable* getSingleton() = 0;
    // A new table owned by the caller.
    virtual ISmbiosTable* makeNew() = 0;
};

class SmbiosFactoryImpl : public factory::TFactory<SmbiosFactory> {
public:
    SmbiosFactoryImpl();
    ~SmbiosFactoryImpl() override;
    ISmbiosTable* getSingleton() override;
    ISmbiosTable* makeNew() override;

private:
    static inline std::unique_ptr<ISmbiosTable> singleton_;
};

}  // namespace smbios

#endif
