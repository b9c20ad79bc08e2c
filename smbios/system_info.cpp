#include "smbios/system_info.h"

namespace smbios {

// The SMBIOS table is not read yet; the collector treats null as "unknown".
char* getManufacturerName() { return nullptr; }

}  // namespace smbios
