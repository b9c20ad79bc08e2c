#include "collector/system_services.h"

namespace collector {

namespace {
SystemServices* testReplacement = nullptr;
}

SystemServices& systemServices() {
    return testReplacement != nullptr ? *testReplacement : platformSystemServices();
}

void setSystemServicesForTesting(SystemServices* fake) { testReplacement = fake; }

}  // namespace collector
