#ifndef VELMORA_SMBIOS_SYSTEM_INFO_H
#define VELMORA_SMBIOS_SYSTEM_INFO_H

namespace smbios {

// The Manufacturer string of the SMBIOS System Information structure (type 1)
// without trailing blanks, as a new array allocation the caller releases with
// delete[]; null when it cannot be read or is empty. Never throws.
char* getManufacturerName();

}  // namespace smbios

#endif
