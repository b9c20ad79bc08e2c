#ifndef VELMORA_SMBIOS_SYSTEM_INFO_H
#define VELMORA_SMBIOS_SYSTEM_INFO_H

namespace smbios {

// A copy of one SMBIOS string: the string whose number stands at `offset` of
// the first structure of `type` in the process-wide table, without trailing
// blanks. A new array allocation the caller releases with delete[]; never
// empty. Throws the layer's exceptions, or a plain std::exception for a
// string that is empty or all blanks.
char* getStructureString(int type, unsigned offset);

// The Manufacturer string of the System Information structure (type 1)
// without trailing blanks, as a new array allocation the caller releases with
// delete[]; null when it cannot be read or is empty. Never throws.
char* getManufacturerName();

// Cuts trailing blanks (0x20 only) in place; null and "" are left alone.
void removeTrailingBlanks(char* text);

}  // namespace smbios

#endif
