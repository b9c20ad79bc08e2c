#ifndef VELMORA_FUZZ_FUZZ_WALK_H
#define VELMORA_FUZZ_FUZZ_WALK_H

// What every SMBIOS fuzz target does with a table it obtained: walk it to its
// end, read every byte of the formatted area and every string of the first
// structures, ask for the refusals (a read behind the formatted area, a
// string number behind the last string) and print the first few, and print
// the whole table when it is small. The sanitizers watch that nothing is read
// outside a buffer; every error must be one of the library's own.
//
// The bounds keep one input cheap: a table of thousands of tiny structures
// is still walked to its end, but an exception or a printed form per
// structure would make it take a good part of a second (under
// AddressSanitizer every exception thrown costs tens of microseconds).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"

namespace fuzz {

// Structures of the first walk read in full; of these, the first
// kItemsChecked also have their refusals asked for and are printed.
constexpr unsigned kItemsRead = 64;
constexpr unsigned kItemsChecked = 2;
// The whole table is printed when it has at most this many structures.
constexpr unsigned kTablePrinted = 32;
// Tables of at most this many structures (real ones have a few hundred at
// most) are walked again by type and with a cold cache.
constexpr unsigned kWalkedAgain = 512;

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
    if (!checkRefusals) return;
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
    std::ostringstream printed;
    printed << item;
    std::size_t size = 0;
    std::unique_ptr<std::uint8_t[]> copy(item.copyBuffer(size));
    std::unique_ptr<const smbios::ISmbiosItem> clone = item.clone();
}

// Walks to the end; reads the first `read` structures, checks the first
// `checked`. Returns the number of structures walked. A structure may be
// refused when it is first handed out (a known firmware defect's symptom
// lying beyond a short structure throws DataOutOfBounds); the walk ends
// there, as it does for every caller.
template <class Iterator>
unsigned exerciseWalk(Iterator it, const Iterator& end, unsigned read, unsigned checked) {
    unsigned visited = 0;
    try {
        for (; it != end; ++it, ++visited) {
            if (visited < read) exerciseItem(*it, visited < checked);
        }
    } catch (const smbios::DataOutOfBounds&) {
    }
    return visited;
}

inline void exerciseTable(smbios::ISmbiosTable& table) {
    const unsigned count = exerciseWalk(table.begin(), table.end(), kItemsRead, kItemsChecked);
    // The searches by type and the walk after the cache is dropped go over
    // the table again; a table of thousands of tiny structures gets none of
    // them (its first walk and the workarounds' search have been to its end).
    const bool small = count <= kWalkedAgain;
    if (small) {
        for (int type : {127, 0, 1, 4}) exerciseWalk(table.itemsOfType(type), table.end(), 1, 0);
        table.dropItemCache();
        const smbios::ISmbiosTable& constTable = table;
        exerciseWalk(constTable.begin(), constTable.end(), 1, 0);
    }
    if (count <= kTablePrinted) {
        try {
            std::ostringstream printed;
            printed << table;
        } catch (const smbios::DataOutOfBounds&) {
        }
    }
}

}  // namespace fuzz

#endif
