#include <memory>

#include "smbios/smbios_platform_strategies.h"

namespace smbios {

// On Linux the kernel publishes the firmware's table: the fallback when
// physical memory cannot be read.
void addPlatformStrategies(SmbiosTable::StrategyList& strategies) {
    strategies.push_back(std::make_unique<SmbiosSysfsStrategy>());
}

}  // namespace smbios
