// Fuzz target: an arbitrary byte string taken as a firmware's SMBIOS
// structure table. Walks it, dereferences every item, looks up every string
// and reads every byte of every formatted area; AddressSanitizer watches that
// nothing is read outside a buffer. The first two input bytes choose the
// declared table length relative to the bytes delivered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"

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

void exercise(const smbios::ISmbiosItem& item) {
    std::uint8_t byte = 0;
    // Every byte of the formatted area, and the first two outside it.
    const unsigned limit = item.length() + 2u;
    for (unsigned offset = 0; offset <= limit; ++offset) {
        try {
            item.readData(offset, &byte, 1);
        } catch (const smbios::DataOutOfBounds&) {
        }
    }
    for (unsigned number = 1; number <= 255u; ++number) {
        try {
            const char* text = item.stringAt(static_cast<std::uint8_t>(number));
            volatile std::size_t length = std::strlen(text);
            (void)length;
        } catch (const smbios::IException&) {
            break;
        }
    }
    std::ostringstream printed;
    printed << item;
    std::size_t size = 0;
    std::unique_ptr<std::uint8_t[]> copy(item.copyBuffer(size));
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
    for (auto it = table.begin(); it != table.end(); ++it) exercise(*it);
    for (int type : {0, 1, 4, 127}) {
        for (auto it = table.itemsOfType(type); it != table.end(); ++it) exercise(*it);
    }
    std::ostringstream printed;
    printed << table;
    return 0;
}
