#include "tool/report.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace pmquery {

namespace {

// Tooling reads the report as one key=value line per key, so a value never
// spans lines: a CR or LF inside a text (a brand name from the controller, an
// error text) is written as a blank. The record keeps the bytes as received.
std::string reportValue(const char* text) {
    std::string value = text != nullptr ? text : "";
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return value;
}

struct ReportLine {
    const char* key;
    std::string value;
};

// The report in its order; the same words and texts for both destinations.
void reportLines(const PMInfo* info, ReportLine (&lines)[7]) {
    lines[0] = {"PMStatus=", statusWord(info->status)};
    lines[1] = {"PMBrandStatus=", brandStatusWord(info->brandStatus)};
    lines[2] = {"PMBrandName=", reportValue(info->brandName)};
    lines[3] = {"PMDefaultBrandName=", reportValue(info->defaultBrandName)};
    lines[4] = {"PMManufacturerName=", reportValue(info->manufacturerName)};
    lines[5] = {"PMDataLocation=", reportValue(info->dataLocation)};
    lines[6] = {"PM_IPMIError=", reportValue(info->ipmiError)};
}

}  // namespace

const char* statusWord(int32_t status) {
    switch (status) {
    case 0:
        return "ON";
    case 1:
        return "OFF";
    default:
        return "IPMI_ERR";
    }
}

const char* brandStatusWord(int32_t brandStatus) {
    switch (brandStatus) {
    case PM_BRAND_DEBRAND:
        return "DEBRAND";
    case PM_BRAND_STRING_REBRAND:
        return "STRING_REBRAND";
    case PM_BRAND_COMPLETE_REBRAND:
        return "COMPLETE_REBRAND";
    default:
        return "DEFAULT";
    }
}

int writePMReportToStdout(const PMInfo* info) {
    if (info == nullptr) {
        std::fprintf(stderr, "Could not read any PM data. pmInfo is null\n");
        return 0;
    }
    ReportLine lines[7];
    reportLines(info, lines);
    // The same lines as in the file, but the error text (the last line)
    // stands between double quotes here.
    for (int i = 0; i < 6; ++i) std::printf("%s%s\n", lines[i].key, lines[i].value.c_str());
    std::printf("%s\"%s\"\n", lines[6].key, lines[6].value.c_str());
    std::fflush(stdout);
    return 1;
}

int writePMReportToFile(const PMInfo* info, const char* path) {
    if (!parentDirectoryExists(path)) {
        std::fprintf(stderr, "Could not write to file %s", path);
        return 0;
    }
    if (info == nullptr) {
        std::fprintf(stderr, "Could not write any PM data. pmInfo is null\n");
        return 0;
    }
    // Text mode: on Windows every line feed is written as CR LF.
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        // The folder exists but the file cannot be made: say so rather than
        // dropping the report without a word.
        std::fprintf(stderr, "Could not write to file %s", path);
        return 0;
    }
    ReportLine lines[7];
    reportLines(info, lines);
    for (const ReportLine& line : lines) {
        std::fprintf(file, "%s%s\n", line.key, line.value.c_str());
        std::fflush(file);
    }
    std::fclose(file);
    return 1;
}

std::string parentFolder(const char* path) {
    const char* lastBackslash = std::strrchr(path, '\\');
    if (lastBackslash == nullptr) return ".";
    std::string folder(path, lastBackslash);
    // A bare drive designator names that drive's current folder, and the C
    // runtime's stat refuses it: the folder of "C:\pm.txt" is the root "C:\".
    const bool driveOnly = folder.size() == 2 && folder[1] == ':' &&
                           ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
    if (driveOnly) folder += '\\';
    return folder;
}

bool parentDirectoryExists(const char* path) {
    struct stat status;
    return stat(parentFolder(path).c_str(), &status) == 0;
}

}  // namespace pmquery
