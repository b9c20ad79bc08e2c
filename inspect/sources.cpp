#include "inspect/sources.h"

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cmos/cmos_rw_factory.h"
#include "inspect/cmos_access.h"
#include "inspect/dump_file_strategy.h"
#include "inspect/inspect_error.h"
#include "memory/memory_factory.h"
#include "smbios/error_description.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"
#include "smi/smi_factory.h"

namespace hwinspect {

std::vector<std::string>& sourceFailures() {
    static std::vector<std::string> failures;
    return failures;
}

namespace {

// Notes why a source gave no table. The library's table keeps only the last
// strategy's error, and its memory strategy keeps none.
class ReportingStrategy : public smbios::SmbiosStrategy {
public:
    ReportingStrategy(std::string label, std::unique_ptr<smbios::SmbiosStrategy> inner)
        : label_(std::move(label)), inner_(std::move(inner)) {}

    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool strict) override {
        try {
            if (inner_->getSmbiosTable(table, entryPoint, strict)) {
                sourceFailures().clear();
                return true;
            }
            sourceFailures().push_back(label_ + ": no table.");
            return false;
        } catch (const std::exception& error) {
            sourceFailures().push_back(label_ + ": " + smbios::summary(error));
            throw;
        }
    }

private:
    std::string label_;
    std::unique_ptr<smbios::SmbiosStrategy> inner_;
};

// A physical address as firmware documents write it: "F0000h".
std::string address(std::uint64_t value) {
    std::ostringstream text;
    text << std::uppercase << std::hex << value << 'h';
    return text.str();
}

constexpr std::uint32_t kSearchStart = 0xE0000;
constexpr std::uint32_t kSearchEnd = 0x100000;

// The library's memory strategy, telling why it found no table instead of
// only that: a 3.x entry point where a 2.x one was searched for, or a table
// beyond what the memory device reads.
class ExplainedMemoryStrategy : public smbios::SmbiosMemoryStrategy {
public:
    using SmbiosMemoryStrategy::SmbiosMemoryStrategy;

    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool strict) override {
        smbios::SmbiosEntryPoint found{};
        try {
            found = findEntryPoint(strict);
        } catch (const std::exception& error) {
            std::string reason = smbios::summary(error);
            const std::string version3 = findVersion3EntryPoint();
            if (!version3.empty()) {
                reason += " This firmware has an SMBIOS 3.x entry point (\"_SM3_\") at " + version3 +
                          ", and only a 2.x one (\"_SM_\") is searched for in physical memory; the kernel "
                          "publishes a 3.x table in /sys/firmware/dmi/tables.";
            }
            throw InspectError(reason);
        }
        const std::size_t length = found.tableLength;
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[length > 0 ? length : 1]());
        try {
            memory::IMemory* memory = memory::MemoryFactory::getFactory()->getSingleton();
            if (length > 0) memory->readBlock(data.get(), found.tableAddress, static_cast<std::uint32_t>(length));
        } catch (const std::exception& error) {
            std::string reason = smbios::summary(error);
            if (reason.find("Bad address") != std::string::npos) {
                reason +=
                    " (the kernel's /dev/mem refuses addresses above the memory it maps directly, where "
                    "this firmware placed its table; the kernel's copy in /sys/firmware/dmi/tables holds "
                    "it)";
            }
            throw InspectError("The entry point at " + address(startAddress) + " names a table of " +
                               std::to_string(length) + " bytes at " + address(found.tableAddress) +
                               ", which could not be read: " + reason);
        }
        entryPoint = found;
        table.data = std::move(data);
        table.size = length;
        return true;
    }

private:
    static std::string findVersion3EntryPoint() {
        try {
            std::vector<std::uint8_t> range(kSearchEnd - kSearchStart);
            memory::MemoryFactory::getFactory()->getSingleton()->readBlock(range.data(), kSearchStart,
                                                                           static_cast<std::uint32_t>(range.size()));
            for (std::size_t offset = 0; offset + 5 <= range.size(); offset += 16) {
                if (std::memcmp(range.data() + offset, "_SM3_", 5) == 0) return address(kSearchStart + offset);
            }
        } catch (const std::exception&) {
        }
        return std::string();
    }
};

}  // namespace

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
    if (!sysfsFolder.empty()) {
        strategies.push_back(std::make_unique<ReportingStrategy>(
            sysfsFolder, std::make_unique<smbios::SmbiosSysfsStrategy>(sysfsFolder)));
    }
    if (getParameterNum("physicalMemory") != 0) {
        strategies.push_back(std::make_unique<ReportingStrategy>(
            "physical memory",
            std::make_unique<ExplainedMemoryStrategy>(static_cast<std::uint32_t>(getParameterNum("offset")))));
    }
    const bool strict = getParameterNum("strictValidation") != 0;
    std::unique_ptr<smbios::SmbiosTable> table(new smbios::SmbiosTable(std::move(strategies), strict));
    table->installWorkarounds();
    return table.release();
}

SourceSmbiosFactory& installSourceFactory() {
    smbios::SmbiosFactory* installed = factory::TFactory<smbios::SmbiosFactory>::instance<SourceSmbiosFactory>();
    auto* ours = dynamic_cast<SourceSmbiosFactory*>(installed);
    if (ours == nullptr) throw smbios::InternalErrorImpl("The SMBIOS factory was in use before the source was chosen.");
    return *ours;
}

void setTableParameters(factory::IFactory& factory, const Options& options) {
    factory.setParameter("strictValidation", options.strict ? 1 : 0);
    factory.setParameter("offset", static_cast<int>(options.offset));
}

void selectSources(const Options& options) {
    InspectCmosFactory& cmosFactory = installInspectCmos();
    cmosFactory.setParameter("dryRun", options.dryRun ? 1 : 0);
    cmosFactory.setParameter("clockRegisters", options.all ? 1 : 0);
    if (!options.cmosImage.empty()) {
        cmosFactory.setMode(factory::UnitTestMode);
        cmosFactory.setParameter("cmosMapFile", options.cmosImage);
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
