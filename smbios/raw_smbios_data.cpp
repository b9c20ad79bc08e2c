#include <cstring>
#include <new>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

namespace {

constexpr std::size_t kRawHeaderSize = 8;

[[noreturn]] void throwFetchError(const char* message, std::uint32_t lastError, std::uint32_t length) {
    ParseExceptionImpl error(message);
    error.setParameter("last_error", static_cast<int>(lastError));
    error.setParameter("table_length", static_cast<int>(length));
    throw error;
}

}  // namespace

TableBuffer fetchRawSmbiosData(const RawSmbiosSource& source) {
    const std::uint32_t needed = source.getTable(nullptr, 0);
    if (static_cast<std::int32_t>(needed) <= 0)
        throwFetchError("GetSystemFirmwareTable returned 0 for table length.", source.lastError(), needed);
    if (needed > kMaxRawSmbiosData)
        throwFetchError("GetSystemFirmwareTable returned an implausible table length.", source.lastError(), needed);

    TableBuffer table;
    table.data.reset(new (std::nothrow) std::uint8_t[needed]());
    if (!table.data) throw ParseExceptionImpl("Failed to allocate memory for Firmware table.");
    const std::uint32_t filled = source.getTable(table.data.get(), needed);
    if (filled < kRawHeaderSize || filled > needed)
        throwFetchError("GetSystemFirmwareTable could not fill the table.", source.lastError(), filled);
    table.size = filled;
    return table;
}

void unpackRawSmbiosData(std::uint8_t* buffer, std::size_t size, SmbiosEntryPoint& entryPoint) {
    if (size < kRawHeaderSize) throw ParseExceptionImpl("GetSystemFirmwareTable returned 0 for table length.");
    entryPoint.tableLength = tableLengthFor(size);
    entryPoint.majorVersion = buffer[1];
    entryPoint.minorVersion = buffer[2];
    entryPoint.structureCount = kUnknownStructureCount;
    // The buffer keeps its size: the table length covers the structures and
    // 8 zero bytes behind them.
    std::memmove(buffer, buffer + kRawHeaderSize, size - kRawHeaderSize);
    std::memset(buffer + size - kRawHeaderSize, 0, kRawHeaderSize);
}

}  // namespace smbios
