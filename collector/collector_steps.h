#ifndef VELMORA_COLLECTOR_COLLECTOR_STEPS_H
#define VELMORA_COLLECTOR_COLLECTOR_STEPS_H

// The steps the collection flow of getPMInfo and getPMStatus is made of.
// Texts a step puts into a slot are new array allocations that pass to the
// caller; a step that sets the error-text slot releases what it held.

namespace collector {

// Agent up and bridge library loaded; prints its own failure message.
bool initializeRuxa();
// Bridge library freed, agent uninstalled if this call installed it.
void releaseRuxa();

// The PM mode (0 to 3); -1 with the error text on a reported failure.
int queryPMStatus(char** errorText);
// True with a non-empty name; false with an empty name and the error text.
bool queryBrandName(char** name, char** errorText);
bool queryDefaultBrandName(char** name, char** errorText);

// Non-zero with the data location of a complete rebrand; zero on failure.
// The location slot always receives a buffer the caller releases.
int retrieveSecureUpdateData(char** dataLocation, char** errorText);

// The flow calls its steps through this table, so tests can run every branch
// of it over scripted steps without touching the agent or the controller.
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
void setCollectorStepsForTesting(const CollectorSteps* steps);

}  // namespace collector

#endif
