#ifndef VELMORA_MEMORY_FIRMWARE_TABLES_H
#define VELMORA_MEMORY_FIRMWARE_TABLES_H

#include <cstdint>

namespace memory {

// The firmware-table provider of the BIOS area ('FIRM'); each of its tables
// is identified by its physical base address.
constexpr std::uint32_t kFirmProvider = 0x4649524D;

// The two calls of the operating system's firmware-table interface, with the
// arguments and results of EnumSystemFirmwareTables and GetSystemFirmwareTable.
// Kept free of platform types so that the reading below is plain code, and
// tests can put replacements in place on any platform.
struct FirmwareTableFunctions {
    std::uint32_t (*enumerateTables)(std::uint32_t provider, void* buffer, std::uint32_t size);
    std::uint32_t (*getTable)(std::uint32_t provider, std::uint32_t id, void* buffer, std::uint32_t size);
};

// Reads physical memory out of the BIOS-area firmware tables. The tables at
// C0000h and E0000h are fetched once and then served from process-wide copies;
// any other table is fetched for each read. A read running past the end of the
// table fills what lies inside it and throws AccessError for the rest.
void readFirmwareTables(const FirmwareTableFunctions& functions, std::uint8_t* buffer, std::uint64_t offset,
                        std::uint32_t length);

// Drops both copies; the next read fetches again.
void releaseFirmwareTableCaches();

}  // namespace memory

#endif
