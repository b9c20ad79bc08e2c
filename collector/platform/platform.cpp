#include "collector/platform/platform.h"

namespace collector {

namespace {
IPlatformImpl* nativePlatform = nullptr;
IPlatformImpl* testPlatform = nullptr;
uint32_t processWait = kProcessWaitMilliseconds;
}  // namespace

IPlatformImpl* getPlatform() {
    if (testPlatform != nullptr) return testPlatform;
    // Never released: the object lives until the library is unloaded.
    if (nativePlatform == nullptr) nativePlatform = newNativePlatform();
    return nativePlatform;
}

int platformInstallRuxa() { return getPlatform()->installRuxa(); }

int platformUninstallRuxa() { return getPlatform()->uninstallRuxa(); }

LibraryHandle platformLoadLibrary(const std::string& fileName) { return getPlatform()->loadLibrary(fileName); }

void platformFreeLibrary(LibraryHandle handle) { getPlatform()->freeLibrary(handle); }

FunctionAddress platformGetProcAddress(LibraryHandle handle, const std::string& name) {
    return getPlatform()->getProcAddress(handle, name);
}

uint32_t processWaitMilliseconds() { return processWait; }

IPlatformImpl* setPlatformForTesting(IPlatformImpl* platform) {
    IPlatformImpl* previous = testPlatform;
    testPlatform = platform;
    return previous;
}

uint32_t setProcessWaitForTesting(uint32_t milliseconds) {
    const uint32_t previous = processWait;
    processWait = milliseconds != 0 ? milliseconds : kProcessWaitMilliseconds;
    return previous;
}

}  // namespace collector
