// Fuzz target: the controller's answers to the three PM queries, as the
// bridge library hands them over (status, length, response bytes), read by
// the collector's status and brand-name queries. The bridge's exports are
// fuzz functions bound through a platform stand-in, the way the collector
// binds the real library: by export name. Input, three times over (status
// query, brand, default brand): one status selector byte, one length byte,
// then as many response bytes as that length says (zeros where the input
// runs out). One more byte, when present, runs the collection flow itself
// (getPMInfo, the mode dispatch) over the same three answers, with that byte
// as the requester id; the agent's start and stop, the secure update (which
// stages files) and SMBIOS are stand-ins there. The collector's progress
// lines on stderr go to a null stream: a fuzzer would print millions.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "collector/command_context.h"
#include "collector/oem_queries.h"
#include "collector/pm_collector.h"
#include "collector/pminfo.h"
#include "fuzz/fuzz_bridge.h"
#include "fuzz/fuzz_files.h"

namespace {

struct Answer {
    std::int32_t status = 0;
    std::vector<std::uint8_t> response;  // exactly as long as the length byte says
};

Answer answers[3];
int nextAnswer = 0;

std::uint8_t* VEXBMC_CALL answerQuery(std::int32_t, std::int32_t, std::uint8_t* length, std::int32_t* status) {
    Answer& answer = answers[nextAnswer++ % 3];
    *status = answer.status;
    *length = static_cast<std::uint8_t>(answer.response.size());
    return answer.response.empty() ? nullptr : answer.response.data();
}

collector::FunctionAddress everyQuery(const std::string&) {
    return reinterpret_cast<collector::FunctionAddress>(&answerQuery);
}

bool startAgent() { return true; }
int stagedLocation(char** dataLocation, char**) {
    *dataLocation = new char[8]();
    std::memcpy(*dataLocation, "C:\\PM", 5);
    return 1;
}
char* noManufacturer() { return nullptr; }

const collector::CollectorSteps kFlowSteps = fuzz::queryingSteps(&startAgent, &stagedLocation, &noManufacturer);

void runFlow(int requesterId) {
    collector::setCollectorStepsForTesting(&kFlowSteps);
    nextAnswer = 0;
    PMInfo* info = nullptr;
    collector::getPMInfo(requesterId, &info);
    if (info == nullptr) std::abort();
    for (const char* text : {info->brandName, info->defaultBrandName, info->ipmiError}) {
        if (text != nullptr && std::strlen(text) > 255) std::abort();
    }
    collector::freePMInfo(info);
    collector::setCollectorStepsForTesting(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::BridgePlatform platform(&everyQuery);
    fuzz::quietStandardError();
    const fuzz::BoundBridge bound(platform);

    std::size_t at = 0;
    const auto take = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    for (Answer& answer : answers) {
        const std::uint8_t selector = take();
        answer.status = fuzz::bridgeStatus(selector);
        answer.response.assign(take(), 0);
        for (std::uint8_t& byte : answer.response) byte = take();
    }
    nextAnswer = 0;
    collector::beginCommandContext();

    char* errorText = nullptr;
    const int mode = collector::queryPMStatus(&errorText);
    if (mode < -128 || mode > 127) std::abort();  // a signed byte (or -1 for a failure)
    char* brand = nullptr;
    char* defaultBrand = nullptr;
    collector::queryBrandName(&brand, &errorText);
    collector::queryDefaultBrandName(&defaultBrand, &errorText);
    for (const char* text : {brand, defaultBrand, errorText}) {
        if (text != nullptr && std::strlen(text) > 255) std::abort();  // never longer than a response
    }
    delete[] brand;
    delete[] defaultBrand;
    delete[] errorText;
    if (at < size) runFlow(take());
    return 0;
}
