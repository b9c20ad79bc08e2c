// Fuzz target: the collection flow (getPMInfo) over the real controller
// queries and the real secure-update retrieval: the mode dispatch on the
// status query's answer, and the secure-update response read for the
// repository session handle, the staging over scripted volumes, and the end
// of the update and of the session. Every bridge export answers from the
// input; the agent, the manufacturer and the volumes are stand-ins, so
// nothing of the machine is touched. After the call the record must be
// consistent, the caller's environment and standard input given back, the
// volume enumeration closed, and both ends of the update name one session.
//
// Input: byte 0 the requester id (% 10); byte 1 bits 0 to 5 leave an export
// out (status, brand, default brand, secure update, end update, raw
// command), bit 6 fails the agent's start, bit 7 gives a manufacturer; byte
// 2 the volumes: bit 0 no enumeration, bits 1 and 2 the drive count, bit 3
// drives seen from the second search on, bit 4 a drive list longer than its
// buffer, bit 5 commands that fail; then per drive a label length (bit 7:
// unreadable) and the label; the rest are the answers, one per export call
// in turn: a status selector, a length, that many response bytes (for the
// raw command: the bytes the controller writes into the block from its
// first data byte on).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "collector/bridge/bridge_interface.h"
#include "collector/pm_collector.h"
#include "collector/pminfo.h"
#include "collector/repository_copy.h"
#include "collector/secure_update.h"
#include "collector/system_services.h"
#include "fuzz/fuzz_bridge.h"
#include "fuzz/fuzz_files.h"
#include "layout/bridge_command_block.h"
#include "layout/little_endian.h"
#include "tests/unit/collector/fake_system_services.h"

namespace {

namespace block = layout::bridge_command_block;

const std::uint8_t* input = nullptr;
std::size_t inputSize = 0;
std::size_t at = 0;
std::uint8_t take() { return at < inputSize ? input[at++] : 0; }

// The next answer: its status, and its response in `response` (null when empty).
std::uint8_t response[256];
std::int32_t nextAnswer(std::uint8_t* length, const std::uint8_t** bytes) {
    const std::int32_t status = fuzz::bridgeStatus(take());
    *length = take();
    for (unsigned i = 0; i < *length; ++i) response[i] = take();
    *bytes = *length > 0 ? response : nullptr;
    return status;
}

std::uint8_t* VEXBMC_CALL answerQuery(std::int32_t, std::int32_t, std::uint8_t* length, std::int32_t* status) {
    const std::uint8_t* bytes = nullptr;
    *status = nextAnswer(length, &bytes);
    return const_cast<std::uint8_t*>(bytes);
}

std::uint8_t* VEXBMC_CALL answerSecureUpdate(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t, std::uint8_t* length, std::int32_t* status) {
    return answerQuery(0, 0, length, status);
}

// The session handles the two ends of the update were given; -1: not called.
long endedUpdate = -1;
long endedSession = -1;

std::uint8_t* VEXBMC_CALL answerEndUpdate(std::int32_t, std::int32_t, std::int32_t, std::int32_t handle, std::int32_t,
                                          std::uint8_t* length, std::int32_t* status) {
    endedUpdate = handle;
    return answerQuery(0, 0, length, status);
}

std::int32_t VEXBMC_CALL answerCommand(void* request, void* reply) {
    auto* bytes = static_cast<std::uint8_t*>(request);
    endedSession = layout::read16(bytes, block::kSize, block::kSessionHandle);
    std::uint8_t length = 0;
    const std::uint8_t* answer = nullptr;
    const std::int32_t status = nextAnswer(&length, &answer);
    const std::size_t room = block::kSize - block::kFirstData;
    if (answer != nullptr)
        std::memcpy(static_cast<std::uint8_t*>(reply) + block::kFirstData, answer, length < room ? length : room);
    return status;
}

// Exports left out by the input, one bit each in the order below.
std::uint8_t missingExports = 0;

collector::FunctionAddress resolve(const std::string& name) {
    const struct {
        const char* name;
        collector::FunctionAddress address;
    } exports[] = {
        {bridge::kGetStatus, reinterpret_cast<collector::FunctionAddress>(&answerQuery)},
        {bridge::kGetReBrand, reinterpret_cast<collector::FunctionAddress>(&answerQuery)},
        {bridge::kGetDefaultBrand, reinterpret_cast<collector::FunctionAddress>(&answerQuery)},
        {bridge::kGetSecureUpdatePmData, reinterpret_cast<collector::FunctionAddress>(&answerSecureUpdate)},
        {bridge::kEndSecureUpdate, reinterpret_cast<collector::FunctionAddress>(&answerEndUpdate)},
        {bridge::kCommand, reinterpret_cast<collector::FunctionAddress>(&answerCommand)},
    };
    for (unsigned i = 0; i < sizeof exports / sizeof exports[0]; ++i) {
        if (name == exports[i].name) return (missingExports >> i & 1) != 0 ? nullptr : exports[i].address;
    }
    return nullptr;
}

bool agentStarts = true;
bool startAgent() { return agentStarts; }
bool manufacturerKnown = false;
char* manufacturer() {
    if (!manufacturerKnown) return nullptr;
    char* name = new char[6];
    std::memcpy(name, "Maker", 6);
    return name;
}

const collector::CollectorSteps kFlowSteps = fuzz::queryingSteps(&startAgent, &collector::retrieveSecureUpdateData,
                                                                 &manufacturer);

// Two searches for the repository volume, no waiting between them.
const collector::VolumeWait kShortWait = {2, 0};

void checkRecord(const PMInfo& info) {
    if (info.status < -1 || info.status > 1) std::abort();
    if (info.brandStatus < PM_BRAND_DEFAULT || info.brandStatus > PM_BRAND_COMPLETE_REBRAND) std::abort();
    // Only a complete rebrand has branding files, and it always names their folder.
    if ((info.dataLocation != nullptr) != (info.brandStatus == PM_BRAND_COMPLETE_REBRAND)) std::abort();
    for (const char* text :
         {info.brandName, info.defaultBrandName, info.dataLocation, info.ipmiError, info.manufacturerName}) {
        if (text != nullptr && (text[0] == '\0' || std::strlen(text) >= collector::kPathBufferSize)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::BridgePlatform platform(&resolve);
    fuzz::quietStandardError();
    if (size < 3) return 0;
    input = data;
    inputSize = size;
    at = 0;
    const int requesterId = take() % 10;
    const std::uint8_t choices = take();
    missingExports = choices & 0x3F;
    agentStarts = (choices & 0x40) == 0;
    manufacturerKnown = (choices & 0x80) != 0;

    testing_support::FakeSystemServices system;
    const std::uint8_t volumes = take();
    system.enumerationAvailable = (volumes & 1) == 0;
    system.visibleFromSearch = (volumes & 8) != 0 ? 1 : 0;
    if ((volumes & 0x10) != 0) system.reportedLengthOverride = 200;
    system.commandResult = (volumes & 0x20) != 0 ? 1 : 0;
    const char* const roots[] = {"C:\\", "R:\\", "S:\\"};
    for (unsigned drive = 0; drive < ((volumes >> 1) & 3u) && drive < 3; ++drive) {
        const std::uint8_t length = take();
        std::string label;
        for (unsigned i = 0; i < (length & 0x0Fu); ++i) label.push_back(static_cast<char>(take()));
        system.drives.push_back({roots[drive], (length & 0x80) == 0, label});
    }

    endedUpdate = -1;
    endedSession = -1;
    const fuzz::BoundBridge bound(platform);
    collector::SystemServices* const previousSystem = collector::setSystemServicesForTesting(&system);
    const collector::VolumeWait* const previousWait = collector::setVolumeWaitForTesting(&kShortWait);
    collector::setCollectorStepsForTesting(&kFlowSteps);

    PMInfo* info = nullptr;
    const int result = collector::getPMInfo(requesterId, &info);
    if (info == nullptr || (result != 0 && result != 1)) std::abort();
    checkRecord(*info);
    collector::freePMInfo(info);

    collector::setCollectorStepsForTesting(nullptr);
    collector::setVolumeWaitForTesting(previousWait);
    collector::setSystemServicesForTesting(previousSystem);

    // The staging commands ran unattended, and only for their own time.
    if (system.inputDetached || !system.environment.empty()) std::abort();
    if (system.opened != system.closed || system.sleeps.size() > 2) std::abort();
    if (endedUpdate >= 0 && endedSession >= 0 && endedUpdate != endedSession) std::abort();
    return 0;
}
