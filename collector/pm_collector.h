#ifndef VELMORA_COLLECTOR_PM_COLLECTOR_H
#define VELMORA_COLLECTOR_PM_COLLECTOR_H

#include "collector/pminfo.h"

// The collection flow behind the four exports (the exports only forward):
// which steps run in which order for each PM mode, and what each outcome
// stores in the record.
namespace collector {

int getPMInfo(int requesterId, PMInfo** out);
int freePMInfo(PMInfo* info);
int getPMStatus();
int getTestPMInfo(int requesterId, PMInfo** out);

// The steps the flow is made of (agent_lifecycle.h, oem_queries.h,
// secure_update.h, smbios/system_info.h). The flow calls them through this
// table, so tests can run every branch of it over scripted steps without
// touching the agent or the controller.
struct CollectorSteps {
    bool (*initializeRuxa)();
    void (*releaseRuxa)();
    int (*queryPMStatus)(char** errorText);
    bool (*queryBrandName)(char** name, char** errorText);
    bool (*queryDefaultBrandName)(char** name, char** errorText);
    int (*retrieveSecureUpdateData)(char** dataLocation, char** errorText);
    char* (*getManufacturerName)();
};

// The steps of the product.
const CollectorSteps& productCollectorSteps();

// Test hook: run the flow over `steps` (null restores the product's steps).
// Returns what it replaced (null: the product's).
const CollectorSteps* setCollectorStepsForTesting(const CollectorSteps* steps);

}  // namespace collector

#endif
