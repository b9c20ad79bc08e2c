#include "collector/system_services.h"

namespace collector {

namespace {
SystemServices* testReplacement = nullptr;
}

SystemServices& systemServices() { return testReplacement != nullptr ? *testReplacement : platformSystemServices(); }

SystemServices* setSystemServicesForTesting(SystemServices* fake) {
    SystemServices* previous = testReplacement;
    testReplacement = fake;
    return previous;
}

}  // namespace collector
