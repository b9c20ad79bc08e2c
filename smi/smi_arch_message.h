#ifndef VELMORA_SMI_SMI_ARCH_MESSAGE_H
#define VELMORA_SMI_SMI_ARCH_MESSAGE_H

namespace smi {

// Why SmiArchStrategy cannot raise an SMI on this platform; defined per OS.
const char* smiArchUnavailableMessage();

}  // namespace smi

#endif
