#ifndef VELMORA_TOOL_PMQUERY_H
#define VELMORA_TOOL_PMQUERY_H

#include "collector/pminfo.h"

namespace pmquery {

// The two exports of the collector library the tool calls. Tests may run the
// tool over scripted entry points instead of the library's.
struct CollectorEntryPoints {
    int (*getPMInfo)(int requesterId, PMInfo** out);
    int (*freePMInfo)(PMInfo* info);
};

// Test hook: null restores the library's exports. Returns what it replaced
// (null: the library's).
const CollectorEntryPoints* setCollectorEntryPointsForTesting(const CollectorEntryPoints* entryPoints);

// Parses the requester id (hexadecimal, "%x"), asks the library for its
// record and stages the images of a branded server. Returns 1 when a record
// was obtained, else 0 (the library is not called when the id does not parse).
int readPMInfo(const char* argument, PMInfo** out);

// The whole program: exit code 1 when a report step ran, 0 when no record
// was obtained, -1 without a requester argument.
int runPMQuery(int argc, char** argv);

}  // namespace pmquery

#endif
