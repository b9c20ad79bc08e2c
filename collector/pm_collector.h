#ifndef VELMORA_COLLECTOR_PM_COLLECTOR_H
#define VELMORA_COLLECTOR_PM_COLLECTOR_H

#include "collector/pminfo.h"

// The collection flow behind the four exports (the exports only forward).
namespace collector {

int getPMInfo(int requesterId, PMInfo** out);
int freePMInfo(PMInfo* info);
int getPMStatus();
int getTestPMInfo(int requesterId, PMInfo** out);

}  // namespace collector

#endif
