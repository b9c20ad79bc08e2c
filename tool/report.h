#ifndef VELMORA_TOOL_REPORT_H
#define VELMORA_TOOL_REPORT_H

#include <string>

#include "collector/pminfo.h"

namespace pmquery {

// Report words: "ON", "OFF" or "IPMI_ERR" for status; "DEFAULT", "DEBRAND",
// "STRING_REBRAND", "COMPLETE_REBRAND" for brandStatus (others read "DEFAULT").
const char* statusWord(int32_t status);
const char* brandStatusWord(int32_t brandStatus);

// The seven report lines on standard output. Returns 1, or 0 for a null record.
int writePMReportToStdout(const PMInfo* info);

// The seven report lines into a replaced file (text mode). Returns 1, or 0
// when nothing could be written.
int writePMReportToFile(const PMInfo* info, const char* path);

// The folder part of `path`: everything before its last backslash, "." when
// there is none, and "X:\" (the drive's root) for a bare drive designator.
std::string parentFolder(const char* path);

// True when the folder part of `path` can be queried by the file system.
bool parentDirectoryExists(const char* path);

}  // namespace pmquery

#endif
