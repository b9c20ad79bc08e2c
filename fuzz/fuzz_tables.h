#ifndef VELMORA_FUZZ_FUZZ_TABLES_H
#define VELMORA_FUZZ_FUZZ_TABLES_H

// An input's bytes as the firmware's SMBIOS structure table, and that table
// as the process-wide one that the system queries and the calling interface
// look in.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "factory/tfactory.h"
#include "smbios/smbios_factory.h"
#include "smbios/smbios_strategy.h"
#include "smbios/smbios_table.h"

namespace fuzz {

// Delivers the bytes with the declared table length given.
class InputTableStrategy : public smbios::SmbiosStrategy {
public:
    InputTableStrategy(const std::uint8_t* data, std::size_t size, std::uint16_t declared)
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

// Hands out the current table, not owned; null when there is none.
class CurrentTableFactory : public factory::TFactory<smbios::SmbiosFactory> {
public:
    smbios::ISmbiosTable* getSingleton() override { return current; }
    smbios::ISmbiosTable* makeNew() override { return nullptr; }
    static inline smbios::ISmbiosTable* current = nullptr;
};

// `table` (or none, for null) is the process-wide table for the life of the object.
class CurrentTable {
public:
    explicit CurrentTable(smbios::ISmbiosTable* table) {
        smbios::SmbiosFactory::getFactory()->reset();
        CurrentTableFactory::current = table;
        factory::TFactory<smbios::SmbiosFactory>::instance<CurrentTableFactory>();
    }
    ~CurrentTable() {
        smbios::SmbiosFactory::getFactory()->reset();
        CurrentTableFactory::current = nullptr;
    }
    CurrentTable(const CurrentTable&) = delete;
    CurrentTable& operator=(const CurrentTable&) = delete;
};

}  // namespace fuzz

#endif
