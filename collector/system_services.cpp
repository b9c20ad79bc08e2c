#include "collector/system_services.h"

namespace collector {

SystemServices& platformSystemServices();  // in the _win / _posix file

namespace {
SystemServices* testReplacement = nullptr;
}

SystemServices& systemServices() {
    return testReplacement != nullptr ? *testReplacement : platformSystemServices();
}

void setSystemServicesForTesting(SystemServices* fake) { testReplacement = fake; }

}  // namespace collector
