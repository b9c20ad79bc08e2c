#ifndef VELMORA_COLLECTOR_AGENT_LIFECYCLE_H
#define VELMORA_COLLECTOR_AGENT_LIFECYCLE_H

#include "collector/platform/platform.h"

namespace collector {

// The bridge library loaded by initializeRuxa; null when not loaded.
// Process-wide, like the agent flag ruxaWasPresent.
extern LibraryHandle bridgeLibrary;

}  // namespace collector

#endif
