// The four exports of the velmora library. They only forward to the
// collection flow, which lives in velmora_core so that tests can reach it.
#include "collector/pm_collector.h"
#include "collector/pminfo.h"

extern "C" {

VELMORA_API int getPMInfo(int requesterId, PMInfo** out) { return collector::getPMInfo(requesterId, out); }

VELMORA_API int freePMInfo(PMInfo* info) { return collector::freePMInfo(info); }

VELMORA_API int getPMStatus(void) { return collector::getPMStatus(); }

VELMORA_API int getTestPMInfo(int requesterId, PMInfo** out) { return collector::getTestPMInfo(requesterId, out); }

}  // extern "C"
