#ifndef VELMORA_COLLECTOR_AGENT_LIFECYCLE_H
#define VELMORA_COLLECTOR_AGENT_LIFECYCLE_H

#include "collector/platform/platform.h"

// Bringing the hardware-access agent and the bridge library up before the
// controller is asked, and down again afterwards.
namespace collector {

// The bridge library loaded by initializeRuxa; null when not loaded.
// Process-wide, like the agent flag ruxaWasPresent.
extern LibraryHandle bridgeLibrary;

// Agent up and bridge library loaded; prints its own failure message.
bool initializeRuxa();

// Bridge library freed, agent uninstalled if this call installed it.
void releaseRuxa();

}  // namespace collector

#endif
