#ifndef VELMORA_FUZZ_FUZZ_WALK_H
#define VELMORA_FUZZ_FUZZ_WALK_H

// What every SMBIOS fuzz target does with a table it obtained: walk it,
// dereference every item, read every byte of every formatted area (and two
// beyond it), look up every string and print it all. The sanitizers watch
// that nothing is read outside a buffer; every error must be one of the
// library's own.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"

namespace fuzz {

inline void exerciseItem(const smbios::ISmbiosItem& item) {
    std::uint8_t byte = 0;
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
    std::unique_ptr<const smbios::ISmbiosItem> clone = item.clone();
}

inline void exerciseTable(smbios::ISmbiosTable& table) {
    for (auto it = table.begin(); it != table.end(); ++it) exerciseItem(*it);
    for (int type : {0, 1, 4, 127}) {
        for (auto it = table.itemsOfType(type); it != table.end(); ++it) exerciseItem(*it);
    }
    table.dropItemCache();
    const smbios::ISmbiosTable& constTable = table;
    for (auto it = constTable.begin(); it != constTable.end(); ++it) exerciseItem(*it);
    std::ostringstream printed;
    printed << table;
}

}  // namespace fuzz

#endif
