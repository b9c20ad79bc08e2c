#ifndef VELMORA_SMBIOS_SMBIOS_PLATFORM_STRATEGIES_H
#define VELMORA_SMBIOS_SMBIOS_PLATFORM_STRATEGIES_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "smbios/smbios_strategy.h"
#include "smbios/smbios_table.h"

namespace smbios {

// Windows: the firmware-table interface ('RSMB').
class SmbiosWinGetFirmwareTableStrategy : public SmbiosStrategy {
public:
    bool getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool strict) override;
};

// Windows: WMI's MSSmBios_RawSMBiosTables in root\wmi.
class SmbiosWinWMIStrategy : public SmbiosStrategy {
public:
    bool getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool strict) override;
};

// Linux: the firmware's table as the kernel publishes it, the files
// "smbios_entry_point" and "DMI" of a folder (normally
// /sys/firmware/dmi/tables). Understands 2.x and 3.x entry points.
class SmbiosSysfsStrategy : public SmbiosStrategy {
public:
    explicit SmbiosSysfsStrategy(std::string folder = "/sys/firmware/dmi/tables");
    bool getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool strict) override;

private:
    std::string folder_;
};

// The strategies DefaultMode tries on this platform, after the memory strategy
// (smbios_platform_strategies_win.cpp or smbios_platform_strategies_posix.cpp).
void addPlatformStrategies(SmbiosTable::StrategyList& strategies);

// The firmware-table interface as the Windows strategy calls it, free of
// platform types so that its two-call protocol is plain, tested code:
// `getTable` as GetSystemFirmwareTable('RSMB', 0, buffer, size), `lastError`
// as GetLastError.
struct RawSmbiosSource {
    std::function<std::uint32_t(void* buffer, std::uint32_t size)> getTable;
    std::function<std::uint32_t()> lastError;
};

// More than any firmware's table: a larger size is an error, not a request
// to allocate.
constexpr std::uint32_t kMaxRawSmbiosData = 16u * 1024 * 1024;

// Asks for the size, then for the data. Throws ParseException, with the
// system's error code as "last_error", when the size is 0 or less or above
// kMaxRawSmbiosData, or when the second call fills less than a header or
// more than it was given room for (the table grew between the calls).
TableBuffer fetchRawSmbiosData(const RawSmbiosSource& source);

// The raw SMBIOS data block of the firmware-table interface: 8 header bytes
// (method, major, minor, DMI revision, 32-bit data length), then the table.
// Moves the table to the start of `buffer`, zeroes the last 8 bytes and fills
// the entry point fields the library reads. Plain code, so it is tested on
// every platform. Throws ParseException for a block shorter than its header.
void unpackRawSmbiosData(std::uint8_t* buffer, std::size_t size, SmbiosEntryPoint& entryPoint);

}  // namespace smbios

#endif
