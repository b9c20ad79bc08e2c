#include "tests/unit/collector/fake_platform.h"

#include "sim/simulator.h"

collector::FunctionAddress FakePlatform::getProcAddress(collector::LibraryHandle handle, const std::string& name) {
    events.push_back("resolve " + name);
    if (handle == nullptr || name.empty() || sim::isMissing(name)) return nullptr;
    return sim::exportAddress(name);
}
