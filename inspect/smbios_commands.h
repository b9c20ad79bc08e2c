#ifndef VELMORA_INSPECT_SMBIOS_COMMANDS_H
#define VELMORA_INSPECT_SMBIOS_COMMANDS_H

#include <cstdint>
#include <ostream>
#include <string>

namespace hwinspect {

// The commands over the SMBIOS table. Each reads the process-wide table of the
// library and writes its answer to `out`; failures are thrown.

// The table's printed form, then every structure with its strings.
void showTable(std::ostream& out, bool json);
// One structure by its handle: its formatted area in hex and its strings.
void showItem(std::ostream& out, std::uint16_t handle, bool json);
// One string through the library's structure-string query.
void showStructureString(std::ostream& out, int type, unsigned offset);
// The manufacturer query of the library.
void showManufacturer(std::ostream& out);
// Writes the table to `path` in the dump-bin layout and says what it wrote.
void writeDumpBin(std::ostream& out, const std::string& path);

}  // namespace hwinspect

#endif
