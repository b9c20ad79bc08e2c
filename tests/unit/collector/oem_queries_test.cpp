// The OEM queries over the simulated controller, bound through a fake
// platform exactly as the product binds the real library: by export name.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "collector/agent_lifecycle.h"
#include "collector/bridge_command.h"
#include "collector/command_context.h"
#include "collector/oem_queries.h"
#include "sim/simulator.h"
#include "tests/unit/collector/fake_platform.h"
#include "tests/unit/support/captured_output.h"

namespace {

class OemQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        collector::beginCommandContext();
        collector::bridgeLibrary = platform.loadLibrary("vexbmc32.dll");
        sim::setCallLogPath("");
    }
    void TearDown() override {
        collector::bridgeLibrary = nullptr;
        sim::loadScenario("");
        sim::setCallLogPath("");
    }

    FakePlatform platform;
    ScopedFakePlatform installed{platform};
};

struct StatusCase {
    const char* name;
    const char* scenario;
    int expectedMode;
    bool expectErrorText;
    std::string expectedStderr;
};

// What a failed status query prints.
std::string statusFailed(int status) {
    return "In ProcessCommand: IPMI command: VEXBMCOEMPMGetStatus failed: status: " + std::to_string(status);
}

class QueryPMStatusTest : public OemQueriesTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(QueryPMStatusTest, ModeErrorTextAndMessages) {
    const StatusCase& c = GetParam();
    sim::loadScenario(c.scenario);
    char* errorText = nullptr;
    ::test_support::captureStderr();
    const int mode = collector::queryPMStatus(&errorText);
    const std::string stderrText = ::test_support::capturedStderr();

    EXPECT_EQ(mode, c.expectedMode);
    if (c.expectErrorText) {
        ASSERT_NE(errorText, nullptr);
        EXPECT_STREQ(errorText, "IPMI Command failed");
    } else {
        EXPECT_EQ(errorText, nullptr);
    }
    EXPECT_EQ(stderrText, c.expectedStderr);
    delete[] errorText;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, QueryPMStatusTest,
    ::testing::Values(
        StatusCase{"mode3", "mode=3", 3, false, ""},
        // The mode is the second byte; the first is never used.
        StatusCase{"secondByte", "response.VEXBMCOEMPMGetStatus=03 01", 1, false, ""},
        StatusCase{"signedByte200", "mode=200", -56, false, ""},  // the mode byte is signed
        StatusCase{"signedByte255", "mode=255", -1, false, ""},
        StatusCase{"status4097", "status.VEXBMCOEMPMGetStatus=4097\nmode=2", 0, false, statusFailed(4097)},
        StatusCase{"status4098", "status.VEXBMCOEMPMGetStatus=4098\nmode=2", 0, false, statusFailed(4098)},
        StatusCase{"status4099", "status.VEXBMCOEMPMGetStatus=4099", 0, false, statusFailed(4099)},
        StatusCase{"status4103", "status.VEXBMCOEMPMGetStatus=4103", 0, false, statusFailed(4103)},
        StatusCase{"status4289", "status.VEXBMCOEMPMGetStatus=4289", 0, false, statusFailed(4289)},
        StatusCase{"status4101", "status.VEXBMCOEMPMGetStatus=4101\nmode=3", 1, false, statusFailed(4101)},
        StatusCase{"status4100", "status.VEXBMCOEMPMGetStatus=4100", -1, true, statusFailed(4100)},
        StatusCase{"negativeStatus", "status.VEXBMCOEMPMGetStatus=-5", -1, true, statusFailed(-5)},
        StatusCase{"nullResponse", "mode=2\nnull.VEXBMCOEMPMGetStatus=1", -1, true, statusFailed(0)},
        StatusCase{"missingExport", "missing=VEXBMCOEMPMGetStatus", -1, true,
                   "failed to get function VEXBMCOEMPMGetStatus\n" + statusFailed(-1)}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST_F(OemQueriesTest, NullLibraryHandleIsAFailedCommand) {
    collector::bridgeLibrary = nullptr;
    sim::loadScenario("mode=2");
    char* errorText = nullptr;
    ::test_support::captureStderr();
    EXPECT_EQ(collector::queryPMStatus(&errorText), -1);
    EXPECT_EQ(::test_support::capturedStderr(), "failed to get function VEXBMCOEMPMGetStatus\n" + statusFailed(-1));
    ASSERT_NE(errorText, nullptr);
    delete[] errorText;
}

struct NameCase {
    const char* name;
    const char* scenario;
    bool defaultBrand;  // else the brand name
    bool expectedResult;
    std::string expectedName;
    const char* expectedStderr;
};

class QueryNameTest : public OemQueriesTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(QueryNameTest, NameErrorTextAndMessages) {
    const NameCase& c = GetParam();
    sim::loadScenario(c.scenario);
    // A success must leave whatever the error slot holds alone.
    char* const previousError = new char[2]{'x', '\0'};
    char* errorText = previousError;
    char* name = nullptr;
    ::test_support::captureStderr();
    const bool result = c.defaultBrand ? collector::queryDefaultBrandName(&name, &errorText)
                                       : collector::queryBrandName(&name, &errorText);
    const std::string stderrText = ::test_support::capturedStderr();

    EXPECT_EQ(result, c.expectedResult);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), c.expectedName);
    if (c.expectedResult) {
        EXPECT_EQ(errorText, previousError);
    } else {
        ASSERT_NE(errorText, nullptr);
        EXPECT_STREQ(errorText, "IPMI Command failed");
    }
    EXPECT_EQ(stderrText, c.expectedStderr);
    delete[] name;
    delete[] errorText;
}

INSTANTIATE_TEST_SUITE_P(
    Names, QueryNameTest,
    ::testing::Values(
        NameCase{"brand", "brand=Acme", false, true, "Acme", ""},
        NameCase{"defaultBrand", "defaultBrand=Quor", true, true, "Quor", ""},
        NameCase{"emptyBrandNoProcessLine", "brand=", false, false, "", ""},
        NameCase{"zeroLengthResponse", "response.VEXBMCOEMPMGetReBrand=41 00\nlength.VEXBMCOEMPMGetReBrand=0", false,
                 false, "", ""},
        NameCase{"textEndsAtZeroByte", "response.VEXBMCOEMPMGetReBrand=41 42 00 43 44", false, true, "AB", ""},
        NameCase{"fullResponseWithoutZero", "response.VEXBMCOEMPMGetReBrand=41*255", false, true, std::string(255, 'A'),
                 ""},
        NameCase{"lengthCutsText",
                 "response.VEXBMCOEMPMGetDefaultBrand=41 42 43 00\nlength.VEXBMCOEMPMGetDefaultBrand=2", true, true,
                 "AB", ""},
        NameCase{"status4100", "brand=Acme\nstatus.VEXBMCOEMPMGetReBrand=4100", false, false, "",
                 "In ProcessCommand: IPMI command: VEXBMCOEMPMGetReBrand failed: status: 4100"},
        NameCase{"status4101IsAFailureHere", "brand=Acme\nstatus.VEXBMCOEMPMGetReBrand=4101", false, false, "",
                 "In ProcessCommand: IPMI command: VEXBMCOEMPMGetReBrand failed: status: 4101"},
        NameCase{"nullResponse", "brand=Acme\nnull.VEXBMCOEMPMGetReBrand=1", false, false, "",
                 "In ProcessCommand: IPMI command: VEXBMCOEMPMGetReBrand failed: status: 0"},
        NameCase{"missingBrandExport", "missing=VEXBMCOEMPMGetReBrand", false, false, "",
                 "failed to get function=VEXBMCOEMPMGetReBrand\n"
                 "In ProcessCommand: IPMI command: VEXBMCOEMPMGetReBrand failed: status: -1"},
        // This message has no line end.
        NameCase{"missingDefaultBrandExport", "missing=VEXBMCOEMPMGetDefaultBrand", true, false, "",
                 "failed to get function=VEXBMCOEMPMGetDefaultBrand"
                 "In ProcessCommand: IPMI command: VEXBMCOEMPMGetDefaultBrand failed: status: -1"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST_F(OemQueriesTest, Status4096ReusesThePreviousResponse) {
    sim::loadScenario("brand=Acme\ndefaultBrand=Quor\nstatus.VEXBMCOEMPMGetDefaultBrand=4096");
    char* errorText = nullptr;
    char* brand = nullptr;
    char* defaultBrand = nullptr;
    ASSERT_TRUE(collector::queryBrandName(&brand, &errorText));
    ::test_support::captureStderr();
    EXPECT_TRUE(collector::queryDefaultBrandName(&defaultBrand, &errorText));
    EXPECT_EQ(::test_support::capturedStderr(),
              "In ProcessCommand: IPMI command: VEXBMCOEMPMGetDefaultBrand failed: status: 4096");
    EXPECT_STREQ(defaultBrand, "Acme");
    EXPECT_EQ(errorText, nullptr);
    delete[] brand;
    delete[] defaultBrand;
}

TEST_F(OemQueriesTest, Status4096OnTheStatusQueryReadsTheHeldModeByte) {
    sim::loadScenario("response.VEXBMCOEMPMGetReBrand=41 02 00");
    char* errorText = nullptr;
    char* brand = nullptr;
    ASSERT_TRUE(collector::queryBrandName(&brand, &errorText));
    sim::loadScenario("status.VEXBMCOEMPMGetStatus=4096\nmode=3");
    ::test_support::captureStderr();
    EXPECT_EQ(collector::queryPMStatus(&errorText), 2);
    ::test_support::capturedStderr();
    EXPECT_EQ(errorText, nullptr);
    delete[] brand;
}

// A short response without a zero byte must not pick up the tail of a longer
// earlier response still held in the context.
TEST_F(OemQueriesTest, NameStaysWithinTheBytesReceived) {
    char* errorText = nullptr;
    char* first = nullptr;
    char* second = nullptr;
    sim::loadScenario("brand=LONGER NAME");
    ASSERT_TRUE(collector::queryBrandName(&first, &errorText));
    sim::loadScenario("response.VEXBMCOEMPMGetReBrand=41 42 43");
    ASSERT_TRUE(collector::queryBrandName(&second, &errorText));
    EXPECT_STREQ(second, "ABC");
    delete[] first;
    delete[] second;
}

TEST_F(OemQueriesTest, SuccessfulResponseIsCopiedIntoTheContext) {
    sim::loadScenario("response.VEXBMCOEMPMGetStatus=00 02 7f*253");
    char* errorText = nullptr;
    ASSERT_EQ(collector::queryPMStatus(&errorText), 2);
    const collector::PMCommandContext* context = collector::currentCommandContext();
    EXPECT_EQ(context->responseLength, 255);
    EXPECT_EQ(context->responseData[254], 0x7f);
    EXPECT_EQ(context->responseData[255], 0x00);
}

TEST_F(OemQueriesTest, EachCommandResolvesItsExportAnewWithTheConstantArguments) {
    const std::string logPath = ::testing::TempDir() + "oem_queries_calls.log";
    std::remove(logPath.c_str());
    sim::loadScenario("mode=2\nbrand=Acme\ndefaultBrand=Quor");
    sim::setCallLogPath(logPath);
    char* errorText = nullptr;
    char* brand = nullptr;
    char* defaultBrand = nullptr;
    platform.events.clear();
    collector::queryPMStatus(&errorText);
    collector::queryBrandName(&brand, &errorText);
    collector::queryDefaultBrandName(&defaultBrand, &errorText);
    delete[] brand;
    brand = nullptr;
    collector::queryBrandName(&brand, &errorText);
    delete[] brand;
    delete[] defaultBrand;

    EXPECT_EQ(platform.events,
              (std::vector<std::string>{"resolve VEXBMCOEMPMGetStatus", "resolve VEXBMCOEMPMGetReBrand",
                                        "resolve VEXBMCOEMPMGetDefaultBrand", "resolve VEXBMCOEMPMGetReBrand"}));
    std::ifstream log(logPath);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_EQ(text.str(),
              "VEXBMCOEMPMGetStatus(0, 1000, &length, &status) -> status=0 length=2 response=0002\n"
              "VEXBMCOEMPMGetReBrand(0, 1000, &length, &status) -> status=0 length=5 response=41636d6500\n"
              "VEXBMCOEMPMGetDefaultBrand(0, 1000, &length, &status) -> status=0 length=5 response=51756f7200\n"
              "VEXBMCOEMPMGetReBrand(0, 1000, &length, &status) -> status=0 length=5 response=41636d6500\n");
}

}  // namespace
