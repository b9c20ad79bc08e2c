// Copying the branding files from the repository volume: the volume search,
// the wait, the command texts and the end-session block, over scripted volumes
// and a recording command interpreter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "collector/bridge_command_block.h"
#include "collector/command_context.h"
#include "collector/repository_copy.h"
#include "tests/unit/collector/fake_system_services.h"
#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"

namespace {

using testing_support::FakeSystemServices;

class RepositoryCopyTest : public ::testing::Test {
protected:
    bool find(std::string& mountPoint, std::string& errors) {
        test_support::captureStderr();
        const bool found = collector::findVolumeByLabel("SECUPD", mountPoint);
        errors = test_support::capturedStderr();
        return found;
    }

    struct Staged {
        int result;
        std::string target;
        std::string source;
        std::string errors;
    };
    Staged stage(int requesterId) {
        collector::beginCommandContext()->requesterId = requesterId;
        char source[260] = {};
        char target[260] = {};
        test_support::captureStderr();
        const int result = collector::stagePMFiles(source, target);
        return {result, target, source, test_support::capturedStderr()};
    }

    FakeSystemServices system;
    test_support::ScopedSeam<collector::SystemServices*> systemSeam{collector::setSystemServicesForTesting, &system};
};

TEST_F(RepositoryCopyTest, LabelMatchesOnItsFirstSixCharactersCaseSensitively) {
    struct Row {
        const char* label;
        bool found;
    };
    for (const Row& row : {Row{"SECUPD", true}, Row{"SECUPD1", true}, Row{"secupd", false}, Row{"SECUP", false},
                           Row{"XSECUPD", false}}) {
        SCOPED_TRACE(row.label);
        system = FakeSystemServices();
        system.drives = {{"C:\\", true, "System"}, {"S:\\", true, row.label}};
        std::string mountPoint, errors;
        EXPECT_EQ(find(mountPoint, errors), row.found);
        EXPECT_EQ(mountPoint, row.found ? "S:\\" : "");
        EXPECT_EQ(errors, std::string("LABEL- System - \nLABEL- ") + row.label + " - \n");
        EXPECT_EQ(system.closed, 1);
    }
}

TEST_F(RepositoryCopyTest, UnreadableLabelsAreSkippedSilentlyAndEmptyOnesShown) {
    system.drives = {{"A:\\", false, ""}, {"C:\\", true, ""}, {"S:\\", true, "SECUPD"}, {"T:\\", true, "SECUPD"}};
    std::string mountPoint, errors;
    EXPECT_TRUE(find(mountPoint, errors));
    EXPECT_EQ(mountPoint, "S:\\");  // the first match wins
    EXPECT_EQ(errors, "LABEL-  - \nLABEL- SECUPD - \n");
}

TEST_F(RepositoryCopyTest, NoVolumeEnumerationMeansNoScan) {
    system.enumerationAvailable = false;
    system.drives = {{"S:\\", true, "SECUPD"}};
    std::string mountPoint, errors;
    EXPECT_FALSE(find(mountPoint, errors));
    EXPECT_EQ(errors, "Unable to obtain handle for Volume\n");
    EXPECT_EQ(system.closed, 0);
}

TEST_F(RepositoryCopyTest, DriveListIsNeverReadPastItsBuffer) {
    // Sixteen roots need 65 characters: more than the 64-character buffer,
    // so the system reports the size it would need and fills nothing.
    for (char letter = 'C'; letter < 'C' + 16; ++letter)
        system.drives.push_back({std::string(1, letter) + ":\\", true, letter == 'R' ? "SECUPD" : "Data"});
    std::string mountPoint, errors;
    EXPECT_FALSE(find(mountPoint, errors));
    EXPECT_EQ(errors, "");

    // A system that claims more than the buffer after filling it is read only
    // up to the buffer's end: fifteen roots fit.
    system = FakeSystemServices();
    for (char letter = 'C'; letter < 'C' + 15; ++letter)
        system.drives.push_back({std::string(1, letter) + ":\\", true, letter == 'Q' ? "SECUPD" : "Data"});
    system.reportedLengthOverride = 4000;
    EXPECT_TRUE(find(mountPoint, errors));
    EXPECT_EQ(mountPoint, "Q:\\");
}

TEST_F(RepositoryCopyTest, WaitRetriesEveryTwoSecondsUntilTheVolumeAppears) {
    system.drives = {{"S:\\", true, "SECUPD"}};
    system.visibleFromSearch = 3;
    std::string mountPoint;
    test_support::captureStderr();
    EXPECT_TRUE(collector::waitForVolume("SECUPD", mountPoint));
    const std::string errors = test_support::capturedStderr();
    EXPECT_EQ(system.sleeps, (std::vector<unsigned>{2000, 2000, 2000}));
    EXPECT_EQ(errors,
              "Mount point not found, retrying after 2 seconds\n"
              "Mount point not found, retrying after 2 seconds\n"
              "Mount point not found, retrying after 2 seconds\n"
              "LABEL- SECUPD - \n");
}

TEST_F(RepositoryCopyTest, WaitGivesUpAfterSixtyAttempts) {
    std::string mountPoint;
    test_support::captureStderr();
    EXPECT_FALSE(collector::waitForVolume("SECUPD", mountPoint));
    test_support::capturedStderr();
    EXPECT_EQ(system.searches, 60);
    EXPECT_EQ(system.sleeps, std::vector<unsigned>(60, 2000));
}

TEST_F(RepositoryCopyTest, StagingCommandsForTheCustomizationRequester) {
    system.drives = {{"S:\\", true, "SECUPD"}};
    system.commandResult = 3;
    const Staged staged = stage(6);
    const std::string target = "C:/\\quor/\\vix/\\customization/\\etc/\\images";
    EXPECT_EQ(staged.result, 1);
    EXPECT_EQ(staged.target, target);
    EXPECT_EQ(staged.source, "S:\\\\customization");
    const std::vector<std::string> commands = {
        "mkdir \"" + target + "\" 1>2>C:\\pm.log",
        "del /F \"" + target + "/\\*.jpg\" \"" + target + "/\\*.JPG\" \"" + target + "/\\*.png\" \"" + target +
            "/\\*.gif\" \"" + target + "/\\*.xml\"  1>2>C:\\pm.log",
        "xcopy /e /i \"S:\\\\customization\" \"" + target + "\" 1>2>C:\\pm.log",
        "del /F \"C:\\pm.log\"",
    };
    EXPECT_EQ(system.commands, commands);
    EXPECT_EQ(staged.errors, "DEBUG: copy command " + commands[0] + " ret:3\n" + "DEBUG: del command " + commands[1] +
                                 " ret:3\n" + "LABEL- SECUPD - \n" + "DEBUG: copy command " + commands[2] + " ret:3\n" +
                                 "DEBUG: del command " + commands[3] + " ret:3\n");
}

TEST_F(RepositoryCopyTest, EveryOtherRequesterGoesToTheGeneralFolder) {
    system.drives = {{"S:\\", true, "SECUPD"}};
    const Staged staged = stage(7);
    EXPECT_EQ(staged.target, "C:/\\quor/\\qep");
    ASSERT_EQ(system.commands.size(), 4u);
    EXPECT_EQ(system.commands[2], "xcopy /e /i \"S:\\\\installer\" \"C:/\\quor/\\qep\" 1>2>C:\\pm.log");
}

TEST_F(RepositoryCopyTest, NothingToCopyFromReportsZeroButStillCleansUp) {
    collector::VolumeWait quick{2, 2000};
    const test_support::ScopedSeam<const collector::VolumeWait*> wait{collector::setVolumeWaitForTesting, &quick};
    // No volume after the wait.
    Staged staged = stage(7);
    EXPECT_EQ(staged.result, 0);
    EXPECT_EQ(system.commands.size(), 3u);  // mkdir, del, del of the log; no xcopy
    EXPECT_EQ(system.searches, 2);

    // A requester without a folder does not even wait.
    system = FakeSystemServices();
    system.drives = {{"S:\\", true, "SECUPD"}};
    staged = stage(9);
    EXPECT_EQ(staged.result, 0);
    EXPECT_EQ(staged.target, "C:/\\quor/\\qep");
    EXPECT_EQ(system.searches, 0);
    EXPECT_EQ(system.commands.size(), 3u);
}

TEST_F(RepositoryCopyTest, CommandsRunUnattendedAndTheCallersStateComesBack) {
    // The caller's COPYCMD, if any, is replaced by /Y for each command only and
    // given back exactly: absent stays absent, an empty value stays empty.
    struct Row {
        const char* name;
        bool set;
        const char* value;
    };
    for (const Row& row : {Row{"unset", false, ""}, Row{"asks", true, "/-Y"}, Row{"empty", true, ""}}) {
        SCOPED_TRACE(row.name);
        system = FakeSystemServices();
        system.drives = {{"S:\\", true, "SECUPD"}};
        system.environment["PATH"] = "C:\\windows";
        if (row.set) system.environment["COPYCMD"] = row.value;
        const std::map<std::string, std::string> callers = system.environment;

        EXPECT_EQ(stage(6).result, 1);
        ASSERT_EQ(system.commands.size(), 4u);
        EXPECT_EQ(system.copyOptionsSeen, std::vector<std::string>(4, "/Y"));
        EXPECT_EQ(system.detachedSeen, std::vector<bool>(4, true));
        EXPECT_EQ(system.environment, callers);
        EXPECT_FALSE(system.inputDetached);
    }
}

TEST_F(RepositoryCopyTest, CommandsStillRunWhenInputCannotBeDetached) {
    system.drives = {{"S:\\", true, "SECUPD"}};
    system.inputAvailable = false;
    EXPECT_EQ(stage(7).result, 1);
    EXPECT_EQ(system.commands.size(), 4u);
    EXPECT_EQ(system.copyOptionsSeen, std::vector<std::string>(4, "/Y"));
    EXPECT_EQ(system.environment.count("COPYCMD"), 0u);
}

TEST(RequesterFolders, OneFolderPerRequesterOneToEight) {
    EXPECT_EQ(collector::requesterFolder(0), nullptr);
    EXPECT_EQ(collector::requesterFolder(9), nullptr);
    EXPECT_EQ(collector::requesterFolder(-6), nullptr);
    for (int id = 1; id <= 8; ++id) {
        ASSERT_NE(collector::requesterFolder(id), nullptr);
        for (int other = 1; other < id; ++other)
            EXPECT_STRNE(collector::requesterFolder(id), collector::requesterFolder(other));
    }
}

TEST(EndSessionBlock, CarriesTheRequestLittleEndianAndIsClearedEachTime) {
    collector::BridgeCommandBlock block;
    std::memset(block.bytes, 0xEE, sizeof block.bytes);
    collector::fillEndSessionBlock(block, 0x1234);
    std::vector<uint8_t> expected(72, 0);
    expected[16] = 11;
    expected[20] = 0x20;
    expected[24] = 7;
    expected[28] = 5;
    const uint8_t request[] = {0xC0, 0xA2, 0x01, 0x34, 0x12, 0x00, 0x00};
    std::copy(std::begin(request), std::end(request), expected.begin() + 32);
    EXPECT_EQ(std::vector<uint8_t>(block.bytes, block.bytes + 72), expected);
}

}  // namespace
