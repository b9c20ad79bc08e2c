#ifndef VELMORA_SMBIOS_SMBIOS_PLATFORM_STRATEGIES_H
#define VELMORA_SMBIOS_SMBIOS_PLATFORM_STRATEGIES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "smbios/smbios_strategy.h"

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

// The raw SMBIOS data block of the firmware-table interface: 8 header bytes
// (method, major, minor, DMI revision, 32-bit data length), then the table.
// Moves the table to the start of `buffer`, zeroes the last 8 bytes and fills
// the entry point fields the library reads. Plain code, so it is tested on
// every platform. Throws ParseException for a block shorter than its header.
void unpackRawSmbiosData(std::uint8_t* buffer, std::size_t size, SmbiosEntryPoint& entryPoint);

}  // namespace smbios

#endif
