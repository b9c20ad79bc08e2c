#include "smbios/smbios_factory.h"

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

SmbiosFactory* SmbiosFactory::getFactory() {
    return static_cast<SmbiosFactory*>(factory::TFactory<SmbiosFactory>::instance<SmbiosFactoryImpl>());
}

SmbiosFactoryImpl::SmbiosFactoryImpl() {
    setParameter("strictValidation", 0);
    setParameter("offset", 0);
}

SmbiosFactoryImpl::~SmbiosFactoryImpl() { singleton_.reset(); }

ISmbiosTable* SmbiosFactoryImpl::getSingleton() {
    if (!singleton_) singleton_.reset(makeNew());
    return singleton_.get();
}

ISmbiosTable* SmbiosFactoryImpl::makeNew() {
    const bool strict = getParameterNum("strictValidation") != 0;
    SmbiosTable::StrategyList strategies;
    const auto start = static_cast<std::uint32_t>(getParameterNum("offset"));
    switch (getMode()) {
    case factory::DefaultMode:
        strategies.push_back(std::make_unique<SmbiosMemoryStrategy>(start));
        addPlatformStrategies(strategies);
        break;
    case factory::UnitTestMode:
        strategies.push_back(std::make_unique<SmbiosMemoryStrategy>(start));
        break;
    default:
        throw NotImplementedImpl("Unknown smbios factory mode requested");
    }
    std::unique_ptr<SmbiosTable> table(new SmbiosTable(std::move(strategies), strict));
    table->installWorkarounds();
    return table.release();
}

}  // namespace smbios
