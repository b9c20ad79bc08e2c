#ifndef VELMORA_SMBIOS_TOKEN_TABLE_FACTORY_H
#define VELMORA_SMBIOS_TOKEN_TABLE_FACTORY_H

#include "factory/ifactory.h"
#include "factory/tfactory.h"
#include "smbios/smbios_table.h"
#include "smbios/token_table.h"

namespace smbios {

// The process-wide source of token tables. DefaultMode and UnitTestMode both
// build from an SMBIOS table; the CMOS and SMI factories decide whether the
// tokens reach hardware or image files. Reset it before the CMOS factory:
// its table holds the CMOS accessor.
class TokenTableFactory : public virtual factory::IFactory {
public:
    static TokenTableFactory* getFactory();
    // The shared table, built on first call from `table` (null: the shared
    // SMBIOS table); later calls return it whatever they pass.
    virtual ITokenTable* getSingleton(const ISmbiosTable* table = nullptr) = 0;
    // A new table owned by the caller, from `table` (null: the shared SMBIOS
    // table). Throws InvalidTokenTableMode for an unknown mode.
    virtual ITokenTable* makeNew(const ISmbiosTable* table) = 0;
};

class TokenTableFactoryImpl : public factory::TFactory<TokenTableFactory> {
public:
    TokenTableFactoryImpl();
    ~TokenTableFactoryImpl() override;
    ITokenTable* getSingleton(const ISmbiosTable* table = nullptr) override;
    ITokenTable* makeNew(const ISmbiosTable* table) override;

private:
    static inline ITokenTable* singleton_ = nullptr;
};

}  // namespace smbios

#endif
