#include "tool/report.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace pmquery {

namespace {

const char* textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

struct ReportLine {
    const char* key;
    const char* value;
};

// The report in its order; the same words and texts for both destinations.
void reportLines(const PMInfo* info, ReportLine (&lines)[7]) {
    lines[0] = {"PMStatus=", statusWord(info->status)};
    lines[1] = {"PMBrandStatus=", brandStatusWord(info->brandStatus)};
    lines[2] = {"PMBrandName=", textOrEmpty(info->brandName)};
    lines[3] = {"PMDefaultBrandName=", textOrEmpty(info->defaultBrandName)};
    lines[4] = {"PMManufacturerName=", textOrEmpty(info->manufacturerName)};
    lines[5] = {"PMDataLocation=", textOrEmpty(info->dataLocation)};
    lines[6] = {"PM_IPMIError=", textOrEmpty(info->ipmiError)};
}

}  // namespace

const char* statusWord(int32_t status) {
    switch (status) {
        case 0: return "ON";
        case 1: return "OFF";
        default: return "IPMI_ERR";
    }
}

const char* brandStatusWord(int32_t brandStatus) {
    switch (brandStatus) {
        case PM_BRAND_DEBRAND: return "DEBRAND";
        case PM_BRAND_STRING_REBRAND: return "STRING_REBRAND";
        case PM_BRAND_COMPLETE_REBRAND: return "COMPLETE_REBRAND";
        default: return "DEFAULT";
    }
}

int writePMReportToStdout(const PMInfo* info) {
    if (info == nullptr) {
        std::fprintf(stderr, "Could not read any PM data. pmInfo is null\n");
        return 0;
    }
    std::printf("PMStatus=%s\n", statusWord(info->status));
    std::printf("PMBrandStatus=%s\n", brandStatusWord(info->brandStatus));
    std::printf("PMBrandName=%s\n", textOrEmpty(info->brandName));
    std::printf("PMDefaultBrandName=%s\n", textOrEmpty(info->defaultBrandName));
    std::printf("PMManufacturerName=%s\n", textOrEmpty(info->manufacturerName));
    std::printf("PMDataLocation=%s\n", textOrEmpty(info->dataLocation));
    std::printf("PM_IPMIError=\"%s\"\n", textOrEmpty(info->ipmiError));
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
        std::fprintf(file, "%s%s\n", line.key, line.value);
        std::fflush(file);
    }
    std::fclose(file);
    return 1;
}

bool parentDirectoryExists(const char* path) {
    const char* lastBackslash = std::strrchr(path, '\\');
    const std::string folder =
        lastBackslash == nullptr ? std::string(".") : std::string(path, lastBackslash);
    struct stat status;
    return stat(folder.c_str(), &status) == 0;
}

}  // namespace pmquery
