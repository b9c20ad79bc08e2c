#ifndef VELMORA_SMBIOS_SMBIOS_EXCEPTIONS_H
#define VELMORA_SMBIOS_SMBIOS_EXCEPTIONS_H

#include "smbios/exception.h"

namespace smbios {

VELMORA_ERROR_FAMILY(SmbiosException, IException);
VELMORA_ERROR_FAMILY(TokenException, IException);

// Faults of the table, the system-information queries and the CMOS image.
VELMORA_ERROR_TYPE(InternalError, IException);
// Unknown factory modes and operations this platform does not support.
VELMORA_ERROR_TYPE(NotImplemented, IException);

VELMORA_ERROR_TYPE(DataOutOfBounds, SmbiosException);
VELMORA_ERROR_TYPE(ParameterException, SmbiosException);
VELMORA_ERROR_TYPE(ParseException, SmbiosException);
VELMORA_ERROR_TYPE(StringUnavailable, SmbiosException);

VELMORA_ERROR_TYPE(DerefNullPointer, TokenException);
VELMORA_ERROR_TYPE(InvalidAccessMode, TokenException);
VELMORA_ERROR_TYPE(InvalidChecksum, TokenException);
// A declared CMOS checksum that no write can keep valid.
VELMORA_ERROR_TYPE(UnmaintainableChecksum, TokenException);
VELMORA_ERROR_TYPE(InvalidTokenTableMode, TokenException);
VELMORA_ERROR_TYPE(NeedAuthentication, TokenException);
// Not the same type as smi::ParameterError; a handler of one misses the other.
VELMORA_ERROR_TYPE(ParameterError, TokenException);

}  // namespace smbios

#endif
