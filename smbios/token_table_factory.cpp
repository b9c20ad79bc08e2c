#include "smbios/token_table_factory.h"

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_factory.h"

namespace smbios {

TokenTableFactory* TokenTableFactory::getFactory() {
    return factory::TFactory<TokenTableFactory>::instance<TokenTableFactoryImpl>();
}

TokenTableFactoryImpl::TokenTableFactoryImpl() = default;

TokenTableFactoryImpl::~TokenTableFactoryImpl() {
    delete singleton_;
    singleton_ = nullptr;
}

ITokenTable* TokenTableFactoryImpl::getSingleton(const ISmbiosTable* table) {
    if (singleton_ == nullptr) singleton_ = makeNew(table);
    return singleton_;
}

ITokenTable* TokenTableFactoryImpl::makeNew(const ISmbiosTable* table) {
    switch (getMode()) {
    case factory::DefaultMode:
    case factory::UnitTestMode:
        break;
    default:
        throw InvalidTokenTableModeImpl();
    }
    if (table == nullptr) table = SmbiosFactory::getFactory()->getSingleton();
    return new TokenTable(*table);
}

}  // namespace smbios
