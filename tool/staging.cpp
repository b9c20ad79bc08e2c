#include "tool/staging.h"

#include <string>

#include "tool/shell_operations.h"

namespace pmquery {

const char kCustomizationFolder[] = "C:\\quor\\vix\\customization";

namespace {

constexpr size_t kMaxPathLength = kPathBufferSize - 1;

struct CopyStep {
    std::string source;
    std::string target;
};

// Creates the target and copies into it; both results are ignored. A step
// whose source or target would exceed the path limit is left out entirely,
// rather than being cut into a path that names something else.
void runCopyStep(ShellOperations& shell, const CopyStep& step) {
    if (step.source.size() > kMaxPathLength || step.target.size() > kMaxPathLength) return;
    shell.createDirectory(step.target);
    shell.copyFiles(step.source, step.target);
}

}  // namespace

void stagePMImages(const PMInfo* info) {
    if (info == nullptr) return;
    ShellOperations& shell = shellOperations();
    const std::string base = kCustomizationFolder;

    if (info->brandStatus == PM_BRAND_COMPLETE_REBRAND) {
        const std::string location = info->dataLocation != nullptr ? info->dataLocation : "";
        // The logo is one of the branding files fetched into the data location.
        const CopyStep images{location + "\\images\\*", base + "\\etc\\images"};
        const CopyStep logo{location + "\\logo.gif", base + "\\images"};
        runCopyStep(shell, images);
        runCopyStep(shell, logo);
        return;
    }

    const std::string currentDirectory = shell.currentDirectory();
    if (currentDirectory.empty()) return;  // no archive to name
    runCopyStep(shell, CopyStep{currentDirectory + "\\lib\\debranded_images.jar", base});
}

}  // namespace pmquery
