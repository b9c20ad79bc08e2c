// POSIX builds only.
#include "smi/smi_arch_message.h"

namespace smi {

const char* smiArchUnavailableMessage() { return "SMI calls are not yet implemented on Linux."; }

}  // namespace smi
