#include "memory/firmware_tables.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "smbios/memory_exceptions.h"

namespace memory {

namespace {

constexpr std::uint64_t kLowTableBase = 0xC0000;
constexpr std::uint64_t kHighTableBase = 0xE0000;
// A copy serves offsets up to base + 1FFFEh, while a table is chosen for
// offsets up to base + 20000h. The two last offsets therefore always fetch
// the table again; the copy is then replaced by the fresh one.
constexpr std::uint64_t kCacheSpan = 0x1FFFE;
constexpr std::uint64_t kTableSpan = 0x20000;
constexpr std::uint32_t kMaxFirmwareTableSize = 16u * 1024 * 1024;

struct TableCopy {
    bool filled = false;
    std::vector<std::uint8_t> bytes;
};

TableCopy lowTable;
TableCopy highTable;

bool servedBy(const TableCopy& copy, std::uint64_t base, std::uint64_t offset) {
    return copy.filled && offset >= base && offset <= base + kCacheSpan;
}

// Copies `length` bytes from `table` at `start`, never reading outside it.
void copyOut(const std::vector<std::uint8_t>& table, std::uint64_t start, std::uint8_t* buffer, std::uint32_t length) {
    if (length == 0) return;
    std::memset(buffer, 0, length);
    const std::uint64_t available = start < table.size() ? table.size() - start : 0;
    const std::uint32_t count = available < length ? static_cast<std::uint32_t>(available) : length;
    if (count > 0) std::memcpy(buffer, table.data() + start, count);
    if (count < length) throw AccessErrorImpl("Read runs past the end of the firmware table.");
}

// The base address of the table to read `offset` from: of all listed tables
// whose range holds it, the last one in list order.
std::uint32_t chooseTable(const FirmwareTableFunctions& functions, std::uint64_t offset) {
    const std::uint32_t listSize = functions.enumerateTables(kFirmProvider, nullptr, 0);
    if (listSize == 0) throw AccessErrorImpl("EnumSystemFirmwareTables returned 0 for table size.");
    // The size is in bytes: room for every whole identifier it holds, zeroed
    // so that unfilled entries read as "no table".
    std::vector<std::uint32_t> ids((listSize + 3) / 4, 0);
    functions.enumerateTables(kFirmProvider, ids.data(), listSize);
    std::uint32_t chosen = 0;
    bool found = false;
    for (const std::uint32_t id : ids) {
        if (id == 0) continue;
        if (offset >= id && offset <= std::uint64_t{id} + kTableSpan) {
            chosen = id;
            found = true;
        }
    }
    if (!found) throw AccessErrorImpl("Could not locate a table which can be used.");
    return chosen;
}

std::vector<std::uint8_t> fetchTable(const FirmwareTableFunctions& functions, std::uint32_t id) {
    const std::uint32_t size = functions.getTable(kFirmProvider, id, nullptr, 0);
    if (size == 0) throw AccessErrorImpl("GetSystemFirmwareTable returned 0 for table length.");
    // Far more than any BIOS-area table: such a size is an error, not a request to allocate.
    if (size > kMaxFirmwareTableSize)
        throw AccessErrorImpl("GetSystemFirmwareTable returned an implausible table length.");
    std::vector<std::uint8_t> table;
    try {
        table.assign(size, 0);
    } catch (const std::bad_alloc&) {
        throw AccessErrorImpl("Failed to allocate memory for Firmware table.");
    }
    // The table may have changed between the two calls: a fill of nothing, or
    // of more than the room given, leaves no table to read.
    const std::uint32_t filled = functions.getTable(kFirmProvider, id, table.data(), size);
    if (filled == 0 || filled > size) throw AccessErrorImpl("GetSystemFirmwareTable could not fill the table.");
    table.resize(filled);
    return table;
}

}  // namespace

void readFirmwareTables(const FirmwareTableFunctions& functions, std::uint8_t* buffer, std::uint64_t offset,
                        std::uint32_t length) {
    if (buffer == nullptr && length > 0) throw AccessErrorImpl("Error accessing buffer.");
    if (servedBy(lowTable, kLowTableBase, offset)) {
        copyOut(lowTable.bytes, offset - kLowTableBase, buffer, length);
        return;
    }
    if (servedBy(highTable, kHighTableBase, offset)) {
        copyOut(highTable.bytes, offset - kHighTableBase, buffer, length);
        return;
    }
    const std::uint32_t id = chooseTable(functions, offset);
    std::vector<std::uint8_t> table = fetchTable(functions, id);
    TableCopy* keep = id == kLowTableBase ? &lowTable : id == kHighTableBase ? &highTable : nullptr;
    if (keep == nullptr) {
        copyOut(table, offset - id, buffer, length);
        return;
    }
    keep->bytes = std::move(table);
    keep->filled = true;
    copyOut(keep->bytes, offset - id, buffer, length);
}

void releaseFirmwareTableCaches() {
    lowTable = TableCopy();
    highTable = TableCopy();
}

}  // namespace memory
