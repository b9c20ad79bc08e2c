#include <cstring>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace smbios {

namespace {
constexpr std::size_t kRawHeaderSize = 8;
}

void unpackRawSmbiosData(std::uint8_t* buffer, std::size_t size, SmbiosEntryPoint& entryPoint) {
    if (size < kRawHeaderSize) throw ParseExceptionImpl("GetSystemFirmwareTable returned 0 for table length.");
    entryPoint.tableLength = static_cast<std::uint16_t>(size);
    entryPoint.majorVersion = buffer[1];
    entryPoint.minorVersion = buffer[2];
    entryPoint.structureCount = kUnknownStructureCount;
    // The buffer keeps its size: the table length covers the structures and
    // 8 zero bytes behind them.
    std::memmove(buffer, buffer + kRawHeaderSize, size - kRawHeaderSize);
    std::memset(buffer + size - kRawHeaderSize, 0, kRawHeaderSize);
}

}  // namespace smbios
