// Fuzz target: an arbitrary byte string taken as a firmware's SMBIOS
// structure table, walked and read in full (fuzz_walk.h). The first two input
// bytes choose the declared table length relative to the bytes delivered.
// The table also stands in as the process-wide one for the system queries
// (the manufacturer's name and structure strings).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "factory/tfactory.h"
#include "fuzz/fuzz_walk.h"
#include "smbios/smbios_factory.h"
#include "smbios/smbios_table.h"
#include "smbios/system_info.h"

namespace {

class FuzzInputStrategy : public smbios::SmbiosStrategy {
public:
    FuzzInputStrategy(const std::uint8_t* data, std::size_t size, std::uint16_t declared)
        : data_(data), size_(size), declared_(declared) {}
    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) override {
        // An exactly sized heap copy, so a read one byte past it is caught.
        table.data.reset(new std::uint8_t[size_ > 0 ? size_ : 1]);
        if (size_ > 0) std::memcpy(table.data.get(), data_, size_);
        table.size = size_;
        entryPoint.tableLength = declared_;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::uint16_t declared_;
};

// Hands out the table of the current input as the process-wide one, not owned.
class CurrentTableFactory : public factory::TFactory<smbios::SmbiosFactory> {
public:
    smbios::ISmbiosTable* getSingleton() override { return current; }
    smbios::ISmbiosTable* makeNew() override { return nullptr; }
    static inline smbios::ISmbiosTable* current = nullptr;
};

void querySystem(smbios::ISmbiosTable& table) {
    smbios::SmbiosFactory::getFactory()->reset();
    CurrentTableFactory::current = &table;
    factory::TFactory<smbios::SmbiosFactory>::instance<CurrentTableFactory>();
    delete[] smbios::getManufacturerName();
    try {
        delete[] smbios::getStructureString(1, 5);  // the product name
    } catch (const std::exception&) {
    }
    smbios::SmbiosFactory::getFactory()->reset();
    CurrentTableFactory::current = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Declared length: the bytes delivered, or more (a truncated table), or fewer.
    const std::size_t delivered = size - 2;
    const int shift = static_cast<std::int8_t>(data[0]);
    long long declared = static_cast<long long>(delivered) + shift * (data[1] + 1);
    if (declared < 0) declared = 0;
    if (declared > 0xFFFF) declared = 0xFFFF;

    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(
        std::make_unique<FuzzInputStrategy>(data + 2, delivered, static_cast<std::uint16_t>(declared)));
    smbios::SmbiosTable table(std::move(strategies), false);
    table.installWorkarounds();
    fuzz::exerciseTable(table);
    querySystem(table);
    return 0;
}
