// Image staging: which sources go to which targets for each brand status,
// over a recording shell; then the platform's real shell calls (POSIX natively,
// SHCreateDirectoryExA/SHFileOperationA under Wine) on real folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"
#include "tool/shell_operations.h"
#include "tool/staging.h"
#include "tests/unit/support/files.h"

namespace {

namespace fs = std::filesystem;

class RecordingShell : public pmquery::ShellOperations {
public:
    std::string currentDirectory() override { return cwd; }
    int createDirectory(const std::string& folder) override {
        log.push_back("mkdir " + folder);
        return 0;
    }
    int copyFiles(const std::string& source, const std::string& target) override {
        log.push_back("copy " + source + " -> " + target);
        return 0;
    }
    std::string cwd = "D:\\tool";
    std::vector<std::string> log;
};

class StagingPlanTest : public ::testing::Test {
protected:
    std::vector<std::string> stage(int brandStatus, const char* dataLocation) {
        PMInfo info{};
        info.brandStatus = brandStatus;
        info.dataLocation = const_cast<char*>(dataLocation);
        pmquery::stagePMImages(&info);
        return shell.log;
    }
    RecordingShell shell;
    test_support::ScopedSeam<pmquery::ShellOperations*> seam{pmquery::setShellOperationsForTesting, &shell};
};

TEST_F(StagingPlanTest, DebrandAndStringRebrandCopyTheArchiveFromTheCurrentDirectory) {
    for (int brandStatus : {1, 2, 7, -1}) {
        SCOPED_TRACE(brandStatus);
        shell.log.clear();
        EXPECT_EQ(
            stage(brandStatus, "C:/\\quor/\\qep"),
            (std::vector<std::string>{"mkdir C:\\quor\\vix\\customization",
                                      "copy D:\\tool\\lib\\debranded_images.jar -> C:\\quor\\vix\\customization"}));
    }
}

TEST_F(StagingPlanTest, CompleteRebrandCopiesImagesAndLogoFromTheDataLocation) {
    EXPECT_EQ(stage(3, "C:/\\quor/\\qep"),
              (std::vector<std::string>{"mkdir C:\\quor\\vix\\customization\\etc\\images",
                                        "copy C:/\\quor/\\qep\\images\\* -> C:\\quor\\vix\\customization\\etc\\images",
                                        "mkdir C:\\quor\\vix\\customization\\images",
                                        "copy C:/\\quor/\\qep\\logo.gif -> C:\\quor\\vix\\customization\\images"}));
}

TEST_F(StagingPlanTest, PathsBeyondTheLimitAreNeitherBuiltNorCopied) {
    // 259 characters is the longest path; the images source adds 9 to the location.
    const std::string fits(259 - 9, 'a');
    const std::string tooLong(259 - 8, 'a');
    EXPECT_EQ(stage(3, fits.c_str()).size(), 4u);
    shell.log.clear();
    // The logo (10 more characters) is left out as well as the images.
    EXPECT_TRUE(stage(3, tooLong.c_str()).empty());

    shell.log.clear();
    shell.cwd = std::string(259 - 25, 'b');  // "\lib\debranded_images.jar" is 25 characters
    EXPECT_EQ(stage(1, nullptr).size(), 2u);
    shell.log.clear();
    shell.cwd += "b";
    EXPECT_TRUE(stage(1, nullptr).empty());
    shell.log.clear();
    shell.cwd.clear();  // the current directory could not be read
    EXPECT_TRUE(stage(1, nullptr).empty());
}

// ---- the platform's real shell calls ----

using test_support::readFile;
using test_support::writeFile;

class RealStagingTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        work = fs::temp_directory_path() /
               (std::string("staging-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work);
        fs::create_directories(work);
        fs::current_path(work);
        fs::remove_all(customizationRoot());
    }
    void TearDown() override {
        fs::remove_all(customizationRoot());
        fs::current_path(previous);
        fs::remove_all(work);
    }

    // Where "C:\quor" is: the real drive under Windows (Wine's prefix here);
    // natively the POSIX shell makes "C:" a folder of the current directory.
    static fs::path customizationRoot() {
#ifdef _WIN32
        return fs::path("C:\\quor");
#else
        return fs::current_path() / "C:" / "quor";
#endif
    }
    static fs::path customization() { return customizationRoot() / "vix" / "customization"; }

    void stage(int brandStatus, const std::string& dataLocation) {
        PMInfo info{};
        info.brandStatus = brandStatus;
        info.dataLocation = const_cast<char*>(dataLocation.c_str());
        pmquery::stagePMImages(&info);
    }

    fs::path previous;
    fs::path work;
};

TEST_F(RealStagingTest, ArchiveIsCopiedAndReplacesAnOlderOne) {
    writeFile(work / "lib" / "debranded_images.jar", "new archive");
    writeFile(customization() / "debranded_images.jar", "old archive, longer than the new one");
    stage(1, "");
    EXPECT_EQ(readFile(customization() / "debranded_images.jar"), "new archive");
    writeFile(work / "lib" / "debranded_images.jar", "string rebrand archive");
    stage(2, "");
    EXPECT_EQ(readFile(customization() / "debranded_images.jar"), "string rebrand archive");
}

TEST_F(RealStagingTest, CompleteRebrandCopiesImagesWithSubfoldersAndTheLogo) {
    const fs::path location = work / "fetched";
    writeFile(location / "images" / "banner.png", "png");
    writeFile(location / "images" / "icons" / "small.gif", "gif");
    writeFile(location / "logo.gif", "logo");
    writeFile(work / "lib" / "debranded_images.jar", "archive");
    stage(3, location.string());
    EXPECT_EQ(readFile(customization() / "etc" / "images" / "banner.png"), "png");
    EXPECT_EQ(readFile(customization() / "etc" / "images" / "icons" / "small.gif"), "gif");
    EXPECT_EQ(readFile(customization() / "images" / "logo.gif"), "logo");
    EXPECT_FALSE(fs::exists(customization() / "debranded_images.jar"));
}

TEST_F(RealStagingTest, NothingToCopyIsSilent) {
    test_support::captureStdout();
    test_support::captureStderr();
    stage(1, "");                                   // no lib\debranded_images.jar
    stage(3, (work / "nothing-fetched").string());  // no images, no logo
    EXPECT_EQ(test_support::capturedStdout(), "");
    EXPECT_EQ(test_support::capturedStderr(), "");
    EXPECT_FALSE(fs::exists(customization() / "debranded_images.jar"));
    EXPECT_FALSE(fs::exists(customization() / "images" / "logo.gif"));
}

}  // namespace
