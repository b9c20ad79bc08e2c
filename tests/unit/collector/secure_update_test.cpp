// The secure-update retrieval over the simulated controller (bound through the
// fake platform, as the product binds the real library) and scripted volumes
// with a recording command interpreter: the order of the steps, what still
// runs after each kind of failure, the messages, and what the controller was
// sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "collector/agent_lifecycle.h"
#include "collector/command_context.h"
#include "collector/repository_copy.h"
#include "collector/secure_update.h"
#include "sim/simulator.h"
#include "tests/unit/collector/fake_platform.h"
#include "tests/unit/collector/fake_system_services.h"
#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"

namespace {

using testing_support::FakeSystemServices;

const std::string kImagesTarget = "C:/\\quor/\\vix/\\customization/\\etc/\\images";
const std::string kGeneralTarget = "C:/\\quor/\\qep";
const char kRequest[] = "VEXBMCOEMVesulGetSecureUpdatePmData";
const char kEndUpdate[] = "VEXBMCOEMVesulEndSecureUpdate";
const char kRawCommand[] = "VEXBMCCommand";

// The debug lines of a staging run into `target`; `source` empty when the
// copy had nothing to copy from.
std::string stagingLines(const std::string& target, const std::string& source, int returned = 0) {
    const std::string ret = " ret:" + std::to_string(returned) + "\n";
    std::string lines = "DEBUG: copy command mkdir \"" + target + "\" 1>2>C:\\pm.log" + ret;
    lines += "DEBUG: del command del /F \"" + target + "/\\*.jpg\" \"" + target + "/\\*.JPG\" \"" + target +
             "/\\*.png\" \"" + target + "/\\*.gif\" \"" + target + "/\\*.xml\"  1>2>C:\\pm.log" + ret;
    if (!source.empty()) {
        lines += "LABEL- SECUPD - \n";
        lines += "DEBUG: copy command xcopy /e /i \"" + source + "\" \"" + target + "\" 1>2>C:\\pm.log" + ret;
    }
    return lines + "DEBUG: del command del /F \"C:\\pm.log\"" + ret;
}

std::string endLines(int handle, int updateStatus, int sessionStatus) {
    return "DEBUG:VEXBMCOEMVesulEndSecureUpdate vesulhandle:" + std::to_string(handle) +
           " Status:" + std::to_string(updateStatus) + "\nDEBUG:EndSession Status:" + std::to_string(sessionStatus) +
           "\n";
}

class SecureUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        collector::bridgeLibrary = platform.loadLibrary("vexbmc32.dll");
        system.drives = {{"C:\\", false, ""}, {"S:\\", true, "SECUPD"}};
        logPath = ::testing::TempDir() + "secure_update_calls.log";
        std::remove(logPath.c_str());
        sim::setCallLogPath(logPath);
    }
    void TearDown() override {
        collector::bridgeLibrary = nullptr;
        sim::loadScenario("");
        sim::setCallLogPath("");
        std::remove(logPath.c_str());
    }

    struct Run {
        int result;
        std::string location;   // "<null>" when no buffer was handed back
        std::string errorText;  // "<null>" when none was set
        std::string errors;
    };
    Run retrieve(int requesterId) {
        collector::beginCommandContext()->requesterId = requesterId;
        return retrieveInCurrentContext();
    }
    Run retrieveInCurrentContext() {
        char* location = nullptr;
        char* errorText = nullptr;
        ::test_support::captureStderr();
        const int result = collector::retrieveSecureUpdateData(&location, &errorText);
        Run run{result, location != nullptr ? location : "<null>", errorText != nullptr ? errorText : "<null>",
                ::test_support::capturedStderr()};
        delete[] location;
        delete[] errorText;
        return run;
    }

    std::vector<std::string> callLog() const {
        std::ifstream log(logPath);
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        return lines;
    }
    // The export names of the call log, in order.
    std::vector<std::string> exportsCalled() const {
        std::vector<std::string> names;
        for (const std::string& line : callLog()) names.push_back(line.substr(0, line.find('(')));
        return names;
    }

    FakePlatform platform;
    ScopedFakePlatform installed{platform};
    FakeSystemServices system;
    test_support::ScopedSeam<collector::SystemServices*> systemSeam{collector::setSystemServicesForTesting, &system};
    std::string logPath;
};

TEST_F(SecureUpdateTest, CustomizationRequesterIsStagedAndTheSessionEnded) {
    sim::loadScenario("sessionHandle=0x1234");
    const Run run = retrieve(6);

    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.location, kImagesTarget);
    EXPECT_EQ(run.errorText, "<null>");
    EXPECT_EQ(run.errors, stagingLines(kImagesTarget, "S:\\\\customization") + endLines(4660, 0, 0));
    EXPECT_EQ(collector::currentCommandContext()->sessionHandle, 0x1234);

    // The handle comes back zero-extended; the block carries it low byte first.
    const std::string block = std::string(32, '0') + "0b000000" + "20000000" + "07000000" + "05000000" + "c0a2013412" +
                              std::string(70, '0');
    EXPECT_EQ(callLog(), (std::vector<std::string>{
                             "VEXBMCOEMVesulGetSecureUpdatePmData(0, 6, 250, 0, 0, 1000, &length, &status)"
                             " -> status=0 length=4 response=00003412",
                             "VEXBMCOEMVesulEndSecureUpdate(0, 6, 0, 4660, 1000, &length, &status)"
                             " -> status=0 length=1 response=00",
                             "VEXBMCCommand(&block, &block) request=" + block +
                                 " -> status=0 block=" + block.substr(0, 68) + "00" + block.substr(70),
                         }));
}

TEST_F(SecureUpdateTest, OtherRequestersGoToTheGeneralFolderFromTheirOwnRepositoryFolder) {
    sim::loadScenario("sessionHandle=7");
    const Run run = retrieve(7);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.location, kGeneralTarget);
    EXPECT_EQ(run.errors, stagingLines(kGeneralTarget, "S:\\\\installer") + endLines(7, 0, 0));
}

// The bridge takes the id's low 8 bits; folder and target go by the whole id,
// so 106h has no repository folder and nothing is copied.
TEST_F(SecureUpdateTest, BridgeGetsTheLowEightBitsOfTheRequesterId) {
    const Run run = retrieve(0x106);
    const std::vector<std::string> log = callLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("VEXBMCOEMVesulGetSecureUpdatePmData(0, 6, 250, 0, 0, 1000, ", 0), 0u) << log[0];
    EXPECT_EQ(log[1].rfind("VEXBMCOEMVesulEndSecureUpdate(0, 6, 0, 0, 1000, ", 0), 0u) << log[1];
    EXPECT_EQ(run.location, kGeneralTarget);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.errors, stagingLines(kGeneralTarget, "") + "Error during copy PM files\n" + endLines(0, 0, 0));
    EXPECT_EQ(system.searches, 0);
}

// The handle is printed as a signed 16-bit number but handed to the bridge
// zero-extended.
TEST_F(SecureUpdateTest, HighSessionHandlePrintsSignedAndTravelsUnsigned) {
    sim::loadScenario("sessionHandle=0xFFFE");
    const Run run = retrieve(6);
    EXPECT_NE(run.errors.find("DEBUG:VEXBMCOEMVesulEndSecureUpdate vesulhandle:-2 Status:0\n"), std::string::npos);
    EXPECT_EQ(callLog()[1].rfind("VEXBMCOEMVesulEndSecureUpdate(0, 6, 0, 65534, 1000, ", 0), 0u);
}

// A failed request ends the retrieval at once: no command, no end of update,
// no end of session, an empty location and the error text.
struct RequestFailure {
    const char* name;
    const char* scenario;
    const char* errors;
    std::vector<std::string> exportsCalled;
};

class SecureUpdateRequestFailure : public SecureUpdateTest, public ::testing::WithParamInterface<RequestFailure> {};

TEST_P(SecureUpdateRequestFailure, NothingElseHappens) {
    const RequestFailure& c = GetParam();
    sim::loadScenario(c.scenario);
    const Run run = retrieve(6);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.location, "");
    EXPECT_EQ(run.errorText, "IPMI Command failed");
    EXPECT_EQ(run.errors, c.errors);
    EXPECT_EQ(exportsCalled(), c.exportsCalled);
    EXPECT_TRUE(system.commands.empty());
    EXPECT_EQ(system.searches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SecureUpdateRequestFailure,
    ::testing::Values(
        RequestFailure{"exportMissing",
                       "missing=VEXBMCOEMVesulGetSecureUpdatePmData",
                       "failed to get function=VEXBMCOEMVesulGetSecureUpdatePmData\n"
                       "In ProcessCommand: IPMI command: VEXBMCOEMVesulGetSecureUpdatePmData failed: status: -1",
                       {}},
        RequestFailure{"status4289",
                       "status.VEXBMCOEMVesulGetSecureUpdatePmData=4289",
                       "In ProcessCommand: IPMI command: VEXBMCOEMVesulGetSecureUpdatePmData failed: status: 4289",
                       {kRequest}},
        RequestFailure{"status4101",
                       "status.VEXBMCOEMVesulGetSecureUpdatePmData=4101",
                       "In ProcessCommand: IPMI command: VEXBMCOEMVesulGetSecureUpdatePmData failed: status: 4101",
                       {kRequest}},
        RequestFailure{"nullResponse",
                       "null.VEXBMCOEMVesulGetSecureUpdatePmData=1",
                       "In ProcessCommand: IPMI command: VEXBMCOEMVesulGetSecureUpdatePmData failed: status: 0",
                       {kRequest}}),
    [](const ::testing::TestParamInfo<RequestFailure>& info) { return std::string(info.param.name); });

TEST_F(SecureUpdateTest, Status4096TakesTheHandleFromTheResponseAlreadyHeld) {
    sim::loadScenario("status.VEXBMCOEMVesulGetSecureUpdatePmData=4096\nsessionHandle=0x5555");
    collector::PMCommandContext* context = collector::beginCommandContext();
    context->requesterId = 6;
    const uint8_t held[] = {0x00, 0x03, 0x34, 0x12};
    std::copy(std::begin(held), std::end(held), context->responseData);
    context->responseLength = 4;

    const Run run = retrieveInCurrentContext();
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.errorText, "<null>");
    EXPECT_EQ(run.errors, "In ProcessCommand: IPMI command: VEXBMCOEMVesulGetSecureUpdatePmData failed: status: 4096" +
                              stagingLines(kImagesTarget, "S:\\\\customization") + endLines(4660, 0, 0));
    EXPECT_EQ(context->sessionHandle, 0x1234);
}

TEST_F(SecureUpdateTest, NoVolumeAfterTheWaitStillEndsUpdateAndSession) {
    const collector::VolumeWait quick{3, 2000};
    const test_support::ScopedSeam<const collector::VolumeWait*> wait{collector::setVolumeWaitForTesting, &quick};
    system.drives = {{"S:\\", true, "secupd"}};
    sim::loadScenario("sessionHandle=0x1234");
    const Run run = retrieve(7);

    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.errorText, "<null>");
    EXPECT_EQ(run.location, kGeneralTarget);
    std::string retries;
    for (int i = 0; i < 3; ++i) retries += "LABEL- secupd - \nMount point not found, retrying after 2 seconds\n";
    const std::string staging = stagingLines(kGeneralTarget, "");
    const size_t logDeletion = staging.find("DEBUG: del command del /F \"C:\\pm.log\"");
    EXPECT_EQ(run.errors, staging.substr(0, logDeletion) + retries + staging.substr(logDeletion) +
                              "Error during copy PM files\n" + endLines(4660, 0, 0));
    EXPECT_EQ(system.sleeps, (std::vector<unsigned>{2000, 2000, 2000}));
    EXPECT_EQ(exportsCalled(), (std::vector<std::string>{kRequest, kEndUpdate, kRawCommand}));
}

// Once the files are staged, a later step that fails is logged and the
// steps after it still run; only a missing raw command fails the retrieval.
struct LaterStep {
    const char* name;
    const char* scenario;
    int commandResult;
    int result;
    const char* errorText;
    std::string errors;  // after the staging lines
    int stagingResult;   // what the staging lines report for each command
    std::vector<std::string> exportsCalled;
};

class SecureUpdateLaterStep : public SecureUpdateTest, public ::testing::WithParamInterface<LaterStep> {};

TEST_P(SecureUpdateLaterStep, IsLoggedAndTheRestStillRuns) {
    const LaterStep& c = GetParam();
    sim::loadScenario(c.scenario);
    system.commandResult = c.commandResult;
    const Run run = retrieve(6);
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.location, kImagesTarget);
    EXPECT_EQ(run.errorText, c.errorText);
    EXPECT_EQ(run.errors, stagingLines(kImagesTarget, "S:\\\\customization", c.stagingResult) + c.errors);
    EXPECT_EQ(system.commands.size(), 4u);
    EXPECT_EQ(exportsCalled(), c.exportsCalled);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SecureUpdateLaterStep,
    ::testing::Values(LaterStep{"endOfUpdateMissing",
                                "sessionHandle=0x1234\nmissing=VEXBMCOEMVesulEndSecureUpdate",
                                0,
                                1,
                                "<null>",
                                "failed to get function=VEXBMCOEMVesulEndSecureUpdate\n" + endLines(4660, -1, 0),
                                0,
                                {kRequest, kRawCommand}},
                      LaterStep{"rawCommandMissing",
                                "sessionHandle=0x1234\nmissing=VEXBMCCommand",
                                0,
                                0,
                                "IPMI Command failed",
                                "DEBUG:VEXBMCOEMVesulEndSecureUpdate vesulhandle:4660 Status:0\n"
                                "failed to get function=VEXBMCCommand"
                                "In ProcessCommand: IPMI command: VEXBMCCommand failed: status: -1",
                                0,
                                {kRequest, kEndUpdate}},
                      // Statuses of the later steps and of the shell commands are only logged.
                      LaterStep{
                          "laterStatuses",
                          "sessionHandle=0x1234\nstatus.VEXBMCOEMVesulEndSecureUpdate=4100\nstatus.VEXBMCCommand=0xCC",
                          1,
                          1,
                          "<null>",
                          endLines(4660, 4100, 204),
                          1,
                          {kRequest, kEndUpdate, kRawCommand}}),
    [](const ::testing::TestParamInfo<LaterStep>& info) { return std::string(info.param.name); });

// The bridge writes its response into the block; the next session end must
// not send that response back as its request.
TEST_F(SecureUpdateTest, CommandBlockIsFilledAnewForEveryCall) {
    sim::loadScenario("sessionHandle=0x1234\nstatus.VEXBMCCommand=0xCC");
    retrieve(6);
    sim::loadScenario("sessionHandle=0x00AB");
    retrieve(6);
    const std::vector<std::string> log = callLog();
    ASSERT_EQ(log.size(), 6u);
    const std::string& secondEnd = log[5];
    const size_t request = secondEnd.find("request=") + 8;
    EXPECT_EQ(secondEnd.substr(request + 64, 14), "c0a201ab000000") << secondEnd;
}

}  // namespace
