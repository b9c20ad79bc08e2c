#include "inspect/sources.h"

#include <memory>

#include "cmos/cmos_rw_factory.h"
#include "inspect/dump_file_strategy.h"
#include "memory/memory_factory.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"
#include "smi/smi_factory.h"

namespace hwinspect {

SourceSmbiosFactory::SourceSmbiosFactory() {
    setParameter("dumpFile", std::string());
    setParameter("sysfsFolder", std::string());
    setParameter("physicalMemory", 0);
    setParameter("strictValidation", 0);
    setParameter("offset", 0);
}

SourceSmbiosFactory::~SourceSmbiosFactory() { delete singleton_; }

smbios::ISmbiosTable* SourceSmbiosFactory::getSingleton() {
    if (singleton_ == nullptr) singleton_ = makeNew();
    return singleton_;
}

smbios::ISmbiosTable* SourceSmbiosFactory::makeNew() {
    smbios::SmbiosTable::StrategyList strategies;
    const std::string dumpFile = getParameterString("dumpFile");
    if (!dumpFile.empty()) strategies.push_back(std::make_unique<DumpFileStrategy>(dumpFile));
    const std::string sysfsFolder = getParameterString("sysfsFolder");
    if (!sysfsFolder.empty()) strategies.push_back(std::make_unique<smbios::SmbiosSysfsStrategy>(sysfsFolder));
    if (getParameterNum("physicalMemory") != 0) {
        strategies.push_back(
            std::make_unique<smbios::SmbiosMemoryStrategy>(static_cast<std::uint32_t>(getParameterNum("offset"))));
    }
    const bool strict = getParameterNum("strictValidation") != 0;
    std::unique_ptr<smbios::SmbiosTable> table(new smbios::SmbiosTable(std::move(strategies), strict));
    table->installWorkarounds();
    return table.release();
}

SourceSmbiosFactory& installSourceFactory() {
    smbios::SmbiosFactory* installed =
        factory::TFactory<smbios::SmbiosFactory>::instance<SourceSmbiosFactory>();
    auto* ours = dynamic_cast<SourceSmbiosFactory*>(installed);
    if (ours == nullptr) throw smbios::InternalErrorImpl("The SMBIOS factory was in use before the source was chosen.");
    return *ours;
}

void setTableParameters(factory::IFactory& factory, const Options& options) {
    factory.setParameter("strictValidation", options.strict ? 1 : 0);
    factory.setParameter("offset", static_cast<int>(options.offset));
}

void selectSources(const Options& options) {
    if (!options.cmosImage.empty()) {
        cmos::CmosRWFactory* cmosFactory = cmos::CmosRWFactory::getFactory();
        cmosFactory->setMode(factory::UnitTestMode);
        cmosFactory->setParameter("cmosMapFile", options.cmosImage);
    }
    if (!options.smiFile.empty()) {
        smi::SmiFactory* smiFactory = smi::SmiFactory::getFactory();
        smiFactory->setMode(factory::UnitTestMode);
        smiFactory->setParameter("smiFile", options.smiFile);
    }
    switch (options.source) {
    case TableSource::Live:
        selectLiveSource(options);
        break;
    case TableSource::MemoryImage: {
        memory::MemoryFactory* memoryFactory = memory::MemoryFactory::getFactory();
        memoryFactory->setMode(factory::UnitTestMode);
        memoryFactory->setParameter("memFile", options.sourcePath);
        smbios::SmbiosFactory* tableFactory = smbios::SmbiosFactory::getFactory();
        tableFactory->setMode(factory::UnitTestMode);
        setTableParameters(*tableFactory, options);
        break;
    }
    case TableSource::Dump:
        installSourceFactory().setParameter("dumpFile", options.sourcePath);
        break;
    case TableSource::Sysfs:
        installSourceFactory().setParameter("sysfsFolder", options.sourcePath);
        break;
    }
}

smbios::ISmbiosTable& sharedTable() {
    smbios::ISmbiosTable* table = smbios::SmbiosFactory::getFactory()->getSingleton();
    if (table == nullptr) throw smbios::InternalErrorImpl("");
    return *table;
}

}  // namespace hwinspect
