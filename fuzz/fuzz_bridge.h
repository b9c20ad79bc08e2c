#ifndef VELMORA_FUZZ_FUZZ_BRIDGE_H
#define VELMORA_FUZZ_FUZZ_BRIDGE_H

// The collector's bridge library as fuzz functions: a platform stand-in that
// binds exports by name the way the collector binds the real library. The
// collector's progress lines go to standard error: a target quiets it
// (fuzz_files.h).

#include <cstdint>
#include <string>
#include <vector>

#include "collector/agent_lifecycle.h"
#include "collector/bridge/bridge_interface.h"
#include "collector/oem_queries.h"
#include "collector/pm_collector.h"
#include "collector/platform/platform.h"

namespace fuzz {

// Serves library binding only: `resolve` gives each export's address (null:
// the library has no such export). The agent, processes and folders are
// never asked for by the steps a target runs.
class BridgePlatform : public collector::IPlatformImpl {
public:
    using Resolver = collector::FunctionAddress (*)(const std::string& name);
    explicit BridgePlatform(Resolver resolve) : resolve_(resolve) {}

    int installRuxa() override { return 0; }
    int uninstallRuxa() override { return 0; }
    collector::LibraryHandle loadLibrary(const std::string&) override { return this; }
    void freeLibrary(collector::LibraryHandle) override {}
    collector::FunctionAddress getProcAddress(collector::LibraryHandle, const std::string& name) override {
        return resolve_(name);
    }
    int runProcess(const std::string&, bool) override { return 0; }
    void sleep(std::int32_t) override {}
    std::string getCurrentDirectory() override { return "/"; }
    std::vector<std::string> listDirectory(const std::string&) override { return {}; }

private:
    Resolver resolve_;
};

// The status of a bridge call, chosen by an input byte: each value the
// collector tells apart, and two it does not know.
inline std::int32_t bridgeStatus(std::uint8_t selector) {
    static constexpr std::int32_t kStatuses[] = {
        bridge::kStatusSuccess,
        bridge::kStatusNoNewData,
        bridge::kStatusDefaultMode1,
        bridge::kStatusDefaultMode2,
        bridge::kStatusDefaultMode3,
        bridge::kStatusDebrandMode,
        bridge::kStatusDefaultMode4,
        bridge::kStatusDefaultMode5,
        1,
        -7,
    };
    return kStatuses[selector % (sizeof kStatuses / sizeof kStatuses[0])];
}

// The collection flow's steps over the real controller queries: the agent
// starts as `startAgent` says and stops at once; the secure update and the
// manufacturer are the ones given.
inline collector::CollectorSteps queryingSteps(bool (*startAgent)(), int (*retrieveSecureUpdateData)(char**, char**),
                                               char* (*getManufacturerName)()) {
    return {startAgent,
            [] {},
            &collector::queryPMStatus,
            &collector::queryBrandName,
            &collector::queryDefaultBrandName,
            retrieveSecureUpdateData,
            getManufacturerName};
}

// The platform in use and the bridge library loaded, for the life of the object.
class BoundBridge {
public:
    explicit BoundBridge(BridgePlatform& platform) {
        collector::setPlatformForTesting(&platform);
        collector::bridgeLibrary = &platform;
    }
    ~BoundBridge() {
        collector::bridgeLibrary = nullptr;
        collector::setPlatformForTesting(nullptr);
    }
    BoundBridge(const BoundBridge&) = delete;
    BoundBridge& operator=(const BoundBridge&) = delete;
};

}  // namespace fuzz

#endif
