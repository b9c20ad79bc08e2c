#include "collector/collector_steps.h"
#include "collector/text.h"

namespace collector {

// Not reachable while initializeRuxa fails; each reports a failed command.
int queryPMStatus(char** errorText) {
    replaceText(errorText, newText("IPMI Command failed"));
    return -1;
}

bool queryBrandName(char** name, char** errorText) {
    *name = newText("");
    replaceText(errorText, newText("IPMI Command failed"));
    return false;
}

bool queryDefaultBrandName(char** name, char** errorText) {
    *name = newText("");
    replaceText(errorText, newText("IPMI Command failed"));
    return false;
}

}  // namespace collector
