#ifndef VELMORA_SMBIOS_CMOS_EXCEPTIONS_H
#define VELMORA_SMBIOS_CMOS_EXCEPTIONS_H

#include "smbios/exception.h"

namespace cmos {

VELMORA_ERROR_FAMILY(CmosException, ::smbios::IException);

VELMORA_ERROR_TYPE(InvalidCmosRWMode, CmosException);

}  // namespace cmos

#endif
