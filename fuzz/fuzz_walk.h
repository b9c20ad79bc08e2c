#ifndef VELMORA_FUZZ_FUZZ_WALK_H
#define VELMORA_FUZZ_FUZZ_WALK_H

// What every SMBIOS fuzz target does with a table it obtained: walk it,
// dereference every item, read every byte of every formatted area (and two
// beyond it), look up every string and print it all. The sanitizers watch
// that nothing is read outside a buffer; every error must be one of the
// library's own.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"

namespace fuzz {

// Reads everything of one item. The refusals (a read behind the formatted
// area, a string number behind the last string) are asked for only when
// `checkRefusals`: an exception per item would make a table of thousands of
// tiny structures take seconds.
inline void exerciseItem(const smbios::ISmbiosItem& item, bool checkRefusals) {
    std::uint8_t byte = 0;
    for (unsigned offset = 0; offset < item.length(); ++offset) item.readData(offset, &byte, 1);
    // The string set ends where the item's buffer does.
    const char* text = item.stringAt(1);
    const char* const end = text + (item.bufferSize() - item.length());
    unsigned number = 1;
    for (;;) {
        const std::size_t length = std::strlen(text);
        const char* following = text + length + 1;
        if (length == 0 || following >= end || *following == '\0' || number == 255) break;
        text = item.stringAt(static_cast<std::uint8_t>(++number));
    }
    if (checkRefusals) {
        try {
            item.readData(item.length(), &byte, 1);
            std::abort();  // one byte behind the formatted area must be refused
        } catch (const smbios::DataOutOfBounds&) {
        }
        if (number < 255) {
            try {
                item.stringAt(static_cast<std::uint8_t>(number + 1));
            } catch (const smbios::IException&) {
            }
        }
    }
    std::ostringstream printed;
    printed << item;
    std::size_t size = 0;
    std::unique_ptr<std::uint8_t[]> copy(item.copyBuffer(size));
    std::unique_ptr<const smbios::ISmbiosItem> clone = item.clone();
}

// Every walk reads every structure; the first few of each also have their
// refusals checked.
template <class Iterator>
void exerciseWalk(Iterator it, const Iterator& end) {
    for (unsigned visited = 0; it != end; ++it, ++visited) exerciseItem(*it, visited < 64);
}

inline void exerciseTable(smbios::ISmbiosTable& table) {
    exerciseWalk(table.begin(), table.end());
    for (int type : {0, 1, 4, 127}) exerciseWalk(table.itemsOfType(type), table.end());
    table.dropItemCache();
    const smbios::ISmbiosTable& constTable = table;
    exerciseWalk(constTable.begin(), constTable.end());
    std::ostringstream printed;
    printed << table;
}

}  // namespace fuzz

#endif
