// Fuzz target: pmquery's command line, and the report written from what the
// library returned. The input is split at NUL bytes: the first two parts are
// the requester id and (when present) the report file argument, which is
// always replaced by one temporary file so the fuzzer never writes elsewhere;
// the next parts become the record's texts. The library is replaced by a
// scripted one that hands out the record with the default brand status, so
// no images are staged.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "tool/pmquery.h"

namespace {

PMInfo record;
std::vector<std::string> texts;

char* textAt(std::size_t index) { return index < texts.size() ? &texts[index][0] : nullptr; }

int scriptedGetPMInfo(int, PMInfo** out) {
    record = PMInfo{};
    record.status = 0;
    record.brandStatus = PM_BRAND_DEFAULT;
    record.brandName = textAt(2);
    record.defaultBrandName = textAt(3);
    record.manufacturerName = textAt(4);
    record.dataLocation = textAt(5);
    record.ipmiError = textAt(6);
    *out = &record;
    return 0;
}

int scriptedFreePMInfo(PMInfo*) { return 0; }

const std::string& reportFile() {
    static const std::string path = fuzz::scratchFile("report.txt");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        // The reports would flood the fuzzer's output, and so would the
        // refusals of the command line.
        return std::freopen("/dev/null", "w", stdout) != nullptr;
    }();
    (void)quiet;
    fuzz::quietStandardError();
    static const pmquery::CollectorEntryPoints scripted = {&scriptedGetPMInfo, &scriptedFreePMInfo};
    pmquery::setCollectorEntryPointsForTesting(&scripted);

    texts.assign(1, std::string());
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            texts.emplace_back();
        } else {
            texts.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::string program = "pmquery";
    std::string reportArgument = reportFile();
    std::vector<char*> argv = {&program[0]};
    if (texts.size() >= 1 && !(texts.size() == 1 && texts[0].empty())) argv.push_back(&texts[0][0]);
    if (texts.size() >= 2) argv.push_back(&reportArgument[0]);
    argv.push_back(nullptr);
    pmquery::runPMQuery(static_cast<int>(argv.size() - 1), argv.data());
    std::remove(reportFile().c_str());
    return 0;
}
