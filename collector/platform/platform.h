#ifndef VELMORA_COLLECTOR_PLATFORM_PLATFORM_H
#define VELMORA_COLLECTOR_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace collector {

// Paths are at most 259 characters; their buffers hold one more for the NUL.
constexpr std::size_t kPathBufferSize = 260;

// An opaque module handle as the operating system returns it; null means no library.
using LibraryHandle = void*;
// An untyped code address; null means not found. Callers cast it to the
// bridge function's type.
using FunctionAddress = void*;

// The process and library services the collector runs on. One object serves
// the whole process (getPlatform); it is never destroyed, so there is no
// virtual destructor.
class IPlatformImpl {
public:
    // 0 when the agent is usable (already present or installed now), 1 when
    // installing failed.
    virtual int installRuxa() = 0;
    // 0 when nothing was to be done or the agent was uninstalled, 1 when the
    // uninstall script failed.
    virtual int uninstallRuxa() = 0;
    virtual LibraryHandle loadLibrary(const std::string& fileName) = 0;
    virtual void freeLibrary(LibraryHandle handle) = 0;
    virtual FunctionAddress getProcAddress(LibraryHandle handle, const std::string& name) = 0;
    // The child's exit code, or a system error code when it could not be
    // started or its exit code could not be read; 259 when it still runs
    // after the bounded wait. The child is never killed.
    virtual int runProcess(const std::string& commandLine, bool show) = 0;
    virtual void sleep(int32_t seconds) = 0;
    // The current directory followed by one separator.
    virtual std::string getCurrentDirectory() = 0;
    // Full paths of the directory's entries, without "." and "..".
    virtual std::vector<std::string> listDirectory(const std::string& directory) = 0;

protected:
    ~IPlatformImpl() = default;
};

// The declarations of every IPlatformImpl operation, for the class of each
// operating system: one list to keep in step with the interface.
#define VELMORA_PLATFORM_OVERRIDES                                                        \
  int installRuxa() override;                                                             \
  int uninstallRuxa() override;                                                           \
  LibraryHandle loadLibrary(const std::string& fileName) override;                        \
  void freeLibrary(LibraryHandle handle) override;                                        \
  FunctionAddress getProcAddress(LibraryHandle handle, const std::string& name) override; \
  int runProcess(const std::string& commandLine, bool show) override;                     \
  void sleep(int32_t seconds) override;                                                   \
  std::string getCurrentDirectory() override;                                             \
  std::vector<std::string> listDirectory(const std::string& directory) override;

// The process-wide platform object, created on first use.
IPlatformImpl* getPlatform();

// The only ways the collector reaches the first five operations.
int platformInstallRuxa();
int platformUninstallRuxa();
LibraryHandle platformLoadLibrary(const std::string& fileName);
void platformFreeLibrary(LibraryHandle handle);
FunctionAddress platformGetProcAddress(LibraryHandle handle, const std::string& name);

// What runProcess reports for a child still running after the wait (the
// value Windows uses for "still active", kept on every platform).
constexpr int kProcessStillRunning = 259;
// How long runProcess waits for a child.
constexpr uint32_t kProcessWaitMilliseconds = 300000;

// The wait runProcess uses: kProcessWaitMilliseconds unless a test shortened it.
uint32_t processWaitMilliseconds();

// Test hooks. A null platform restores the native one; a zero wait restores
// the product's wait. Each returns what it replaced (null: the native one).
IPlatformImpl* setPlatformForTesting(IPlatformImpl* platform);
uint32_t setProcessWaitForTesting(uint32_t milliseconds);

// Creates the native implementation (defined per operating system).
IPlatformImpl* newNativePlatform();

}  // namespace collector

#endif
