// The live machine on Linux: the table the kernel publishes, then physical
// memory through /dev/mem. The kernel's copy comes first because it also
// holds 3.x tables, which the memory search of a 2.x reader cannot find.
#include "inspect/sources.h"

namespace hwinspect {

void selectLiveSource(const Options& options) {
    SourceSmbiosFactory& factory = installSourceFactory();
    factory.setParameter("sysfsFolder", std::string("/sys/firmware/dmi/tables"));
    factory.setParameter("physicalMemory", 1);
    setTableParameters(factory, options);
}

}  // namespace hwinspect
