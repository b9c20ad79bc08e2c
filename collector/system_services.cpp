#include "collector/system_services.h"

#include "seam/test_replacement.h"

namespace collector {

namespace {
seam::TestReplacement<SystemServices> replacement;
}

SystemServices& systemServices() { return replacement.orElse(platformSystemServices()); }

SystemServices* setSystemServicesForTesting(SystemServices* fake) { return replacement.exchange(fake); }

}  // namespace collector
