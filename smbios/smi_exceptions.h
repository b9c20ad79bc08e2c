#ifndef VELMORA_SMBIOS_SMI_EXCEPTIONS_H
#define VELMORA_SMBIOS_SMI_EXCEPTIONS_H

#include "smbios/exception.h"

namespace smi {

VELMORA_ERROR_FAMILY(SmiException, ::smbios::IException);

VELMORA_ERROR_TYPE(InvalidSmiMode, SmiException);
// Not the same type as smbios::ParameterError.
VELMORA_ERROR_TYPE(ParameterError, SmiException);
VELMORA_ERROR_TYPE(PasswordVerificationFailed, SmiException);
VELMORA_ERROR_TYPE(SmiExecutedWithError, SmiException);
VELMORA_ERROR_TYPE(UnhandledSmi, SmiException);
VELMORA_ERROR_TYPE(UnsupportedSmi, SmiException);

}  // namespace smi

#endif
