#ifndef VELMORA_SMBIOS_CMOS_EXCEPTIONS_H
#define VELMORA_SMBIOS_CMOS_EXCEPTIONS_H

#include "smbios/exception.h"

namespace cmos {

VELMORA_ERROR_FAMILY(CmosException, ::smbios::IException);

VELMORA_ERROR_TYPE(InvalidCmosRWMode, CmosException);
// A write refused before any byte of it changed: it would leave a checksum
// invalid that cannot be kept, or reach outside the bank.
VELMORA_ERROR_TYPE(CmosWriteRefused, CmosException);

}  // namespace cmos

#endif
