#include "collector/pm_collector.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "collector/agent_lifecycle.h"
#include "collector/command_context.h"
#include "collector/oem_queries.h"
#include "collector/secure_update.h"
#include "collector/text.h"
#include "seam/test_replacement.h"
#include "smbios/system_info.h"

namespace collector {

namespace {

const CollectorSteps kProductSteps = {
    &collector::initializeRuxa,   &collector::releaseRuxa,           &collector::queryPMStatus,
    &collector::queryBrandName,   &collector::queryDefaultBrandName, &collector::retrieveSecureUpdateData,
    &smbios::getManufacturerName,
};

seam::TestReplacement<const CollectorSteps> testSteps;

PMInfo* newEmptyRecord() { return new PMInfo(); }  // value-initialised: all zero, texts null

void markError(PMInfo* info) {
    info->status = -1;
    info->brandStatus = PM_BRAND_DEBRAND;
}

// Asks for the default brand name into the record. A failure marks the
// record with the error text and writes `failureLine` to standard error.
bool collectDefaultBrandName(const CollectorSteps& steps, PMInfo* info, char** errorText, const char* failureLine) {
    TextSlot name;
    if (steps.queryDefaultBrandName(name.slot(), errorText)) {
        info->defaultBrandName = copyIntoRecord(name.get());
        return true;
    }
    markError(info);
    info->ipmiError = copyIntoRecord(*errorText);
    std::fprintf(stderr, "%s\n", failureLine);
    return false;
}

// Mode 1, debranded: only the default brand name is asked for. A failure
// marks the record but leaves the call's result at 0.
void collectDebrand(const CollectorSteps& steps, PMInfo* info, char** errorText) {
    info->status = 0;
    info->brandStatus = PM_BRAND_DEBRAND;
    collectDefaultBrandName(steps, info, errorText, "unable to get default brand name");
}

// Modes 2 and 3: brand name, default brand name, and for a complete rebrand
// the branding files. Each failure ends the queries; the manufacturer is
// still asked for afterwards.
void collectRebrand(const CollectorSteps& steps, int mode, PMInfo* info, char** errorText) {
    TextSlot brand;
    if (steps.queryBrandName(brand.slot(), errorText)) {
        info->brandName = copyIntoRecord(brand.get());
    } else {
        markError(info);
        // A brand query that failed without a text reads as a plain error.
        if (!isEmptyText(*errorText)) {
            info->ipmiError = copyIntoRecord(*errorText);
            std::fprintf(stderr, "unable to get brand name\n");
        }
        return;
    }

    if (!collectDefaultBrandName(steps, info, errorText, "unable to retrieve default brand name")) return;
    info->status = 0;
    if (mode == PM_BRAND_STRING_REBRAND) {
        info->brandStatus = PM_BRAND_STRING_REBRAND;
        return;
    }

    TextSlot location;
    if (steps.retrieveSecureUpdateData(location.slot(), errorText) != 0) {
        info->brandStatus = PM_BRAND_COMPLETE_REBRAND;
        info->dataLocation = copyIntoRecord(location.get());
    } else {
        // The record then reads as a string rebrand; status stays 0.
        info->brandStatus = PM_BRAND_STRING_REBRAND;
        if (!isEmptyText(*errorText)) {
            info->ipmiError = copyIntoRecord(*errorText);
            std::fprintf(stderr, "Error %s\n", *errorText);
        }
        std::fprintf(stderr, "unable to retrieve pm data\n");
    }
}

// A mode outside 0 to 3: the data is unknown. Returns the call's result,
// which is 1 only when the status query left an error text.
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

// The manufacturer from SMBIOS. A missing name is printed as empty with
// length 0; the field stays null.
void collectManufacturer(const CollectorSteps& steps, PMInfo* info) {
    const std::unique_ptr<char[]> name(steps.getManufacturerName());
    const char* shown = name ? name.get() : "";
    // Fixed text, the blank before the line end included.
    std::fprintf(stderr, "Getting manufacturername %s %d \n", shown, static_cast<int>(std::strlen(shown)));
    info->manufacturerName = copyIntoRecord(name.get());
}

}  // namespace

const CollectorSteps& productCollectorSteps() { return kProductSteps; }

const CollectorSteps* setCollectorStepsForTesting(const CollectorSteps* steps) { return testSteps.exchange(steps); }

int getPMInfo(int requesterId, PMInfo** out) {
    // Nowhere to put the record: nothing is started that would have to be undone.
    if (out == nullptr) return 1;
    const CollectorSteps& steps = testSteps.orElse(kProductSteps);
    beginCommandContext()->requesterId = requesterId;
    PMInfo* info = newEmptyRecord();
    *out = info;

    if (!steps.initializeRuxa()) {
        markError(info);
        info->ipmiError = copyIntoRecord("RUXA Initialization failed");
        return 1;
    }

    int result = 0;
    // One error-text slot serves every query of the call.
    TextSlot errorText;
    const int mode = steps.queryPMStatus(errorText.slot());
    bool askManufacturer = false;
    if (mode == PM_BRAND_DEFAULT) {
        info->status = 1;
        info->brandStatus = PM_BRAND_DEFAULT;
    } else if (mode == PM_BRAND_DEBRAND) {
        collectDebrand(steps, info, errorText.slot());
    } else if (mode == PM_BRAND_STRING_REBRAND || mode == PM_BRAND_COMPLETE_REBRAND) {
        collectRebrand(steps, mode, info, errorText.slot());
        askManufacturer = true;
    } else {
        result = recordModeError(info, errorText.get());
        askManufacturer = mode > PM_BRAND_COMPLETE_REBRAND;
    }
    if (askManufacturer) collectManufacturer(steps, info);

    steps.releaseRuxa();
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
    const CollectorSteps& steps = testSteps.orElse(kProductSteps);
    beginCommandContext();
    if (!steps.initializeRuxa()) return -1;
    std::printf("RUXA Installation done\n");

    int mode = 0;
    {
        TextSlot errorText;
        mode = steps.queryPMStatus(errorText.slot());
        std::printf("getPMStatus %d\n", mode);
        steps.releaseRuxa();
        std::printf("RUXA unInstallation done\n");
    }
    // Fixed text, two blanks included: callers match the progress lines.
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
