#include "tool/pmquery.h"

#include <cstdio>

#include "seam/test_replacement.h"
#include "tool/report.h"
#include "tool/staging.h"

namespace pmquery {

namespace {
const CollectorEntryPoints kLibraryEntryPoints = {&::getPMInfo, &::freePMInfo};
seam::TestReplacement<const CollectorEntryPoints> testCollector;

const CollectorEntryPoints& collectorEntryPoints() { return testCollector.orElse(kLibraryEntryPoints); }
}  // namespace

const CollectorEntryPoints* setCollectorEntryPointsForTesting(const CollectorEntryPoints* entryPoints) {
    return testCollector.exchange(entryPoints);
}

int readPMInfo(const char* argument, PMInfo** out) {
    unsigned int requesterId = 0;
    const int converted = std::sscanf(argument, "%x", &requesterId);
    if (converted != 1) {
        std::fprintf(stderr, "sscanf returned %d\n", converted);
        return 0;
    }
    collectorEntryPoints().getPMInfo(static_cast<int>(requesterId), out);
    if (*out == nullptr) return 0;
    if ((*out)->brandStatus != PM_BRAND_DEFAULT) stagePMImages(*out);
    return 1;
}

int runPMQuery(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Incorrect number of arguments\n");
        return -1;
    }
    PMInfo* info = nullptr;
    if (readPMInfo(argv[1], &info) == 1) {
        if (argc < 3) {
            writePMReportToStdout(info);
        } else {
            writePMReportToFile(info, argv[2]);
        }
        collectorEntryPoints().freePMInfo(info);
        return 1;
    }
    std::fprintf(stderr, "Could not read PM information");
    collectorEntryPoints().freePMInfo(info);
    return 0;
}

}  // namespace pmquery
