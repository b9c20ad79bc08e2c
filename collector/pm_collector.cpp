#include "collector/pm_collector.h"

#include <cstdio>
#include <cstring>

#include "collector/collector_steps.h"
#include "collector/command_context.h"
#include "collector/text.h"
#include "smbios/system_info.h"

namespace collector {

namespace {

const CollectorSteps kProductSteps = {
    &collector::initializeRuxa,        &collector::releaseRuxa,
    &collector::queryPMStatus,         &collector::queryBrandName,
    &collector::queryDefaultBrandName, &collector::retrieveSecureUpdateData,
    &smbios::getManufacturerName,
};

const CollectorSteps* activeSteps = &kProductSteps;

PMInfo* newEmptyRecord() { return new PMInfo(); }  // value-initialised: all zero, texts null

void markError(PMInfo* info) {
    info->status = -1;
    info->brandStatus = PM_BRAND_DEBRAND;
}

// Step a: mode 1, debranded. Only the default brand name is asked for.
void collectDebrand(const CollectorSteps& steps, PMInfo* info, char** errorText) {
    info->status = 0;
    info->brandStatus = PM_BRAND_DEBRAND;
    char* name = nullptr;
    if (steps.queryDefaultBrandName(&name, errorText)) {
        info->defaultBrandName = copyIntoRecord(name);
    } else {
        markError(info);
        info->ipmiError = copyIntoRecord(*errorText);
        std::fprintf(stderr, "unable to get default brand name\n");
    }
    delete[] name;
}

// Steps b to d: modes 2 and 3.
void collectRebrand(const CollectorSteps& steps, int mode, PMInfo* info, char** errorText) {
    char* name = nullptr;
    const bool gotBrand = steps.queryBrandName(&name, errorText);
    if (gotBrand) info->brandName = copyIntoRecord(name);
    delete[] name;
    if (!gotBrand) {
        markError(info);
        if (!isEmptyText(*errorText)) {
            info->ipmiError = copyIntoRecord(*errorText);
            std::fprintf(stderr, "unable to get brand name\n");
        }
        return;
    }

    name = nullptr;
    const bool gotDefault = steps.queryDefaultBrandName(&name, errorText);
    if (gotDefault) info->defaultBrandName = copyIntoRecord(name);
    delete[] name;
    if (!gotDefault) {
        markError(info);
        info->ipmiError = copyIntoRecord(*errorText);
        std::fprintf(stderr, "unable to retrieve default brand name\n");
        return;
    }
    info->status = 0;
    if (mode == PM_BRAND_STRING_REBRAND) {
        info->brandStatus = PM_BRAND_STRING_REBRAND;
        return;
    }

    char* location = nullptr;
    if (steps.retrieveSecureUpdateData(&location, errorText) != 0) {
        info->brandStatus = PM_BRAND_COMPLETE_REBRAND;
        info->dataLocation = copyIntoRecord(location);
    } else {
        // The record then reads as a string rebrand; status stays 0.
        info->brandStatus = PM_BRAND_STRING_REBRAND;
        if (!isEmptyText(*errorText)) {
            info->ipmiError = copyIntoRecord(*errorText);
            std::fprintf(stderr, "Error %s\n", *errorText);
        }
        std::fprintf(stderr, "unable to retrieve pm data\n");
    }
    delete[] location;
}

// Step e: a mode outside 0 to 3. Returns the call's result.
int recordModeError(PMInfo* info, const char* errorText) {
    int result = 0;
    markError(info);
    if (!isEmptyText(errorText)) {
        info->ipmiError = copyIntoRecord(errorText);
        result = 1;
    }
    std::fprintf(stderr, "IPMI command error. Setting PM mode to debrand\n");
    return result;
}

// Step f. A missing name is printed as empty with length 0; the field stays null.
void collectManufacturer(const CollectorSteps& steps, PMInfo* info) {
    char* name = steps.getManufacturerName();
    const char* shown = name != nullptr ? name : "";
    std::fprintf(stderr, "Getting manufacturername %s %d \n", shown, static_cast<int>(std::strlen(shown)));
    info->manufacturerName = copyIntoRecord(name);
    delete[] name;
}

}  // namespace

const CollectorSteps& productCollectorSteps() { return kProductSteps; }

void setCollectorStepsForTesting(const CollectorSteps* steps) {
    activeSteps = steps != nullptr ? steps : &kProductSteps;
}

int getPMInfo(int requesterId, PMInfo** out) {
    // Nowhere to put the record: nothing is started that would have to be undone.
    if (out == nullptr) return 1;
    const CollectorSteps& steps = *activeSteps;
    beginCommandContext()->requesterId = requesterId;
    PMInfo* info = newEmptyRecord();
    *out = info;

    if (!steps.initializeRuxa()) {
        markError(info);
        info->ipmiError = copyIntoRecord("RUXA Initialization failed");
        return 1;
    }

    int result = 0;
    char* errorText = nullptr;
    const int mode = steps.queryPMStatus(&errorText);
    bool askManufacturer = false;
    if (mode == PM_BRAND_DEFAULT) {
        info->status = 1;
        info->brandStatus = PM_BRAND_DEFAULT;
    } else if (mode == PM_BRAND_DEBRAND) {
        collectDebrand(steps, info, &errorText);
    } else if (mode == PM_BRAND_STRING_REBRAND || mode == PM_BRAND_COMPLETE_REBRAND) {
        collectRebrand(steps, mode, info, &errorText);
        askManufacturer = true;
    } else {
        result = recordModeError(info, errorText);
        askManufacturer = mode > PM_BRAND_COMPLETE_REBRAND;
    }
    if (askManufacturer) collectManufacturer(steps, info);

    steps.releaseRuxa();
    delete[] errorText;
    return result;
}

int freePMInfo(PMInfo* info) {
    if (info == nullptr) return 0;
    replaceText(&info->brandName, nullptr);
    replaceText(&info->dataLocation, nullptr);
    replaceText(&info->ipmiError, nullptr);
    // The remaining texts and the record are the library's too; releasing
    // them here keeps a getPMInfo/freePMInfo cycle from leaking.
    replaceText(&info->defaultBrandName, nullptr);
    replaceText(&info->manufacturerName, nullptr);
    delete info;
    return 0;
}

int getPMStatus() {
    const CollectorSteps& steps = *activeSteps;
    beginCommandContext();
    if (!steps.initializeRuxa()) return -1;
    std::printf("RUXA Installation done\n");

    char* errorText = nullptr;
    const int mode = steps.queryPMStatus(&errorText);
    std::printf("getPMStatus %d\n", mode);

    steps.releaseRuxa();
    std::printf("RUXA unInstallation done\n");
    delete[] errorText;
    std::printf("delete  done\n");
    return mode;
}

int getTestPMInfo(int /*requesterId*/, PMInfo** out) {
    if (out == nullptr) return 1;
    PMInfo* info = newEmptyRecord();
    info->status = 0;
    info->brandStatus = PM_BRAND_DEBRAND;
    *out = info;
    return 0;
}

}  // namespace collector
