// The live machine on Windows: the library's own acquisition strategies
// (physical memory, the firmware-table interface, WMI), in its order.
#include "inspect/sources.h"

namespace hwinspect {

void selectLiveSource(const Options& options) { setTableParameters(*smbios::SmbiosFactory::getFactory(), options); }

}  // namespace hwinspect
