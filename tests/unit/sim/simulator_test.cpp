// The simulated controller: what its scenario keys produce and what its call
// log records, since the end-to-end scenarios assert against both.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "collector/bridge/bridge_interface.h"
#include "sim/simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ParseHexBytes, AcceptsPairsBlanksAndRepeats) {
    struct Case {
        const char* text;
        bool ok;
        Bytes expected;
    };
    for (const Case& c : {
             Case{"41 42\t43", true, Bytes{0x41, 0x42, 0x43}},
             Case{"4142aF", true, Bytes{0x41, 0x42, 0xaf}},
             Case{"00*3 ff", true, Bytes{0, 0, 0, 0xff}},
             Case{"", true, Bytes{}},
             Case{"4", false, Bytes{}},
             Case{"4g", false, Bytes{}},
             Case{"41*", false, Bytes{}},
             Case{"00*256", true, Bytes(256, 0)},
             Case{"00*256 01", false, Bytes{}},
             Case{"00*99999", false, Bytes{}},
         }) {
        Bytes bytes;
        EXPECT_EQ(sim::parseHexBytes(c.text, &bytes), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.expected) << c.text;
        }
    }
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        logPath = ::testing::TempDir() + "simulator_calls.log";
        std::remove(logPath.c_str());
        sim::setCallLogPath(logPath);
    }
    void TearDown() override {
        sim::setCallLogPath("");
        sim::loadScenario("");
    }
    std::string log() const {
        std::ifstream file(logPath, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    template <typename Function>
    Function exported(const char* name) {
        return reinterpret_cast<Function>(sim::exportAddress(name));
    }
    std::string logPath;
};

TEST_F(SimulatorTest, SecureUpdateAnswersCarryTheSessionHandleLowByteFirst) {
    sim::loadScenario("sessionHandle=0x1234\nstatus.VEXBMCOEMVesulEndSecureUpdate=7");
    uint8_t length = 0;
    int32_t status = -1;
    const uint8_t* response = exported<VexbmcGetSecureUpdatePmDataFunction>(bridge::kGetSecureUpdatePmData)(
        0, 6, 250, 0, 0, 1000, &length, &status);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Bytes(response, response + length), (Bytes{0x00, 0x00, 0x34, 0x12}));

    exported<VexbmcEndSecureUpdateFunction>(bridge::kEndSecureUpdate)(0, 6, 0, 0x1234, 1000, &length, &status);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(log(),
              "VEXBMCOEMVesulGetSecureUpdatePmData(0, 6, 250, 0, 0, 1000, &length, &status)"
              " -> status=0 length=4 response=00003412\n"
              "VEXBMCOEMVesulEndSecureUpdate(0, 6, 0, 4660, 1000, &length, &status)"
              " -> status=7 length=1 response=00\n");
}

TEST_F(SimulatorTest, RawCommandLogsTheRequestBlockAndAnswersInByte34) {
    sim::loadScenario("status.VEXBMCCommand=0x5a");
    uint8_t block[bridge::kCommandBlockSize] = {};
    block[16] = 11;
    block[34] = 0x01;
    EXPECT_EQ(exported<VexbmcCommandFunction>(bridge::kCommand)(block, block), 0x5a);
    EXPECT_EQ(block[34], 0x5a);

    std::string request(bridge::kCommandBlockSize * 2, '0');
    request.replace(32, 2, "0b");
    request.replace(68, 2, "01");
    std::string after = request;
    after.replace(68, 2, "5a");
    EXPECT_EQ(log(), "VEXBMCCommand(&block, &block) request=" + request + " -> status=90 block=" + after + "\n");
}

TEST_F(SimulatorTest, EndSessionStatusIsSetApartFromTheCallsStatus) {
    struct Case {
        const char* scenario;
        int32_t callStatus;
        uint8_t byte34;
    };
    for (const Case& c : {
             Case{"endSessionStatus=1", 0, 0x01},
             Case{"endSessionStatus=0xff\nstatus.VEXBMCCommand=4100", 4100, 0xff},
             Case{"endSessionStatus=0\nstatus.VEXBMCCommand=7", 7, 0x00},
             Case{"endSessionStatus=256\nstatus.VEXBMCCommand=7", 7, 0x07},  // out of range: the default
             Case{"endSessionStatus=-1", 0, 0x00},
         }) {
        sim::loadScenario(c.scenario);
        uint8_t block[bridge::kCommandBlockSize] = {};
        block[34] = 0x01;
        EXPECT_EQ(exported<VexbmcCommandFunction>(bridge::kCommand)(block, block), c.callStatus) << c.scenario;
        EXPECT_EQ(block[34], c.byte34) << c.scenario;
    }
}

TEST_F(SimulatorTest, InvalidValuesKeepTheDefaults) {
    sim::loadScenario(
        "mode=300\nstatus.VEXBMCOEMPMGetStatus=abc\nlength.VEXBMCOEMPMGetStatus=256\n"
        "status.NoSuchExport=5\nmissing=NoSuchExport, VEXBMCCommand\n# mode=3\n");
    uint8_t length = 0;
    int32_t status = -1;
    const uint8_t* response = exported<VexbmcPMQueryFunction>(bridge::kGetStatus)(0, 1000, &length, &status);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Bytes(response, response + length), (Bytes{0x00, 0x00}));
    EXPECT_TRUE(sim::isMissing(bridge::kCommand));
    EXPECT_FALSE(sim::isMissing("NoSuchExport"));
}

}  // namespace
