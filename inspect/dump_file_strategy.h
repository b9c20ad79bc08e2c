#ifndef VELMORA_INSPECT_DUMP_FILE_STRATEGY_H
#define VELMORA_INSPECT_DUMP_FILE_STRATEGY_H

#include <cstdint>
#include <string>
#include <vector>

#include "smbios/smbios_strategy.h"

namespace hwinspect {

// A table saved in the dump-bin layout that SMBIOS tools exchange: an entry
// point at offset 0 (2.x "_SM_" or 3.x "_SM3_") whose table address is the
// file offset of the structure table, normally 0x20.
class DumpFileStrategy : public smbios::SmbiosStrategy {
public:
    explicit DumpFileStrategy(std::string path);
    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool strict) override;

private:
    std::string path_;
};

// The table and entry point record a dump-bin file's bytes hold. The table is
// what the file holds from the table address on, up to the length the entry
// point announces (a 3.x entry point: its maximum size), and at most 0xFFFF
// bytes, the reach of the record's 16-bit length. A 3.x entry point gives a
// record with the anchor "_SM3", its version and the unknown structure count,
// as the kernel's files do. Throws ParseException for a file without an entry
// point at 0 or whose table lies outside it.
void readDumpBin(const std::vector<std::uint8_t>& file, smbios::TableBuffer& table,
                 smbios::SmbiosEntryPoint& entryPoint);

}  // namespace hwinspect

#endif
