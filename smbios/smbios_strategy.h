#ifndef VELMORA_SMBIOS_SMBIOS_STRATEGY_H
#define VELMORA_SMBIOS_SMBIOS_STRATEGY_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "smbios/smbios_entry_point.h"

namespace smbios {

// The raw structure table a strategy delivers and the number of bytes it
// actually holds (which the entry point's tableLength may claim to exceed).
struct TableBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
};

// One way of obtaining the firmware's SMBIOS table. A strategy that succeeds
// replaces `table` and fills `entryPoint`; one that fails returns false or
// throws, and leaves `table` as it was.
class SmbiosStrategy {
public:
    virtual ~SmbiosStrategy();
    virtual bool getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool strict) = 0;
};

// Finds the entry point in the legacy BIOS area of physical memory (or at one
// given address) and reads the table it points to, through the memory
// factory's product, so a memory image file serves as well.
class SmbiosMemoryStrategy : public SmbiosStrategy {
public:
    explicit SmbiosMemoryStrategy(std::uint32_t startAddress);
    bool getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool strict) override;

    // The entry point at `startAddress`, or the first one found from E0000h
    // on in 16-byte steps. Throws ParseException with the reason otherwise:
    // the validation text of the last rejected candidate, if there was one.
    SmbiosEntryPoint findEntryPoint(bool strict);

    // 0 means: search. Set to the address found, so later calls look only there.
    std::uint32_t startAddress;

private:
    SmbiosEntryPoint rememberFound(std::uint32_t address, const std::uint8_t (&bytes)[32]);
};

}  // namespace smbios

#endif
