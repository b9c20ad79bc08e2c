#include "collector/platform/platform.h"

#include "seam/test_replacement.h"

namespace collector {

namespace {
IPlatformImpl* nativePlatform = nullptr;
seam::TestReplacement<IPlatformImpl> testPlatform;
uint32_t processWait = kProcessWaitMilliseconds;

IPlatformImpl& native() {
    // Never released: the object lives until the library is unloaded.
    if (nativePlatform == nullptr) nativePlatform = newNativePlatform();
    return *nativePlatform;
}
}  // namespace

IPlatformImpl* getPlatform() { return &testPlatform.orElse(native()); }

int platformInstallRuxa() { return getPlatform()->installRuxa(); }

int platformUninstallRuxa() { return getPlatform()->uninstallRuxa(); }

LibraryHandle platformLoadLibrary(const std::string& fileName) { return getPlatform()->loadLibrary(fileName); }

void platformFreeLibrary(LibraryHandle handle) { getPlatform()->freeLibrary(handle); }

FunctionAddress platformGetProcAddress(LibraryHandle handle, const std::string& name) {
    return getPlatform()->getProcAddress(handle, name);
}

uint32_t processWaitMilliseconds() { return processWait; }

IPlatformImpl* setPlatformForTesting(IPlatformImpl* platform) { return testPlatform.exchange(platform); }

uint32_t setProcessWaitForTesting(uint32_t milliseconds) {
    const uint32_t previous = processWait;
    processWait = milliseconds != 0 ? milliseconds : kProcessWaitMilliseconds;
    return previous;
}

}  // namespace collector
