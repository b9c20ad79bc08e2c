#include <memory>

#include "smbios/smbios_platform_strategies.h"

namespace smbios {

// Where physical memory cannot be read, Windows offers the table through the
// firmware-table interface and, failing that, through WMI.
void addPlatformStrategies(SmbiosTable::StrategyList& strategies) {
    strategies.push_back(std::make_unique<SmbiosWinGetFirmwareTableStrategy>());
    strategies.push_back(std::make_unique<SmbiosWinWMIStrategy>());
}

}  // namespace smbios
