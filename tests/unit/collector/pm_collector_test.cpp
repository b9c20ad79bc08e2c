// The collection flow of getPMInfo and getPMStatus over scripted steps: every
// branch of the PM mode table, what lands in the record, the result and the
// messages on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/command_context.h"
#include "collector/pm_collector.h"
#include "collector/text.h"
#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"

namespace {

using collector::CollectorSteps;
using collector::newText;
using collector::replaceText;

constexpr const char* kCommandFailed = "IPMI Command failed";

// What the scripted steps answer, and what they saw.
struct Script {
    bool initializes = true;
    int mode = 0;
    bool modeSetsError = false;
    bool brandSucceeds = true;
    bool brandSetsError = true;
    bool defaultSucceeds = true;
    int retrieveResult = 1;
    bool retrieveSetsError = true;
    const char* manufacturer = "Quor";

    std::vector<std::string> calls;
};

Script script;

bool scriptedInitialize() {
    script.calls.push_back("initialize");
    return script.initializes;
}
void scriptedRelease() { script.calls.push_back("release"); }
int scriptedStatus(char** errorText) {
    script.calls.push_back("status");
    if (script.modeSetsError) replaceText(errorText, newText(kCommandFailed));
    return script.mode;
}
bool scriptedBrand(char** name, char** errorText) {
    script.calls.push_back("brand");
    if (script.brandSucceeds) {
        *name = newText("Acme");
        return true;
    }
    *name = newText("");
    if (script.brandSetsError) replaceText(errorText, newText(kCommandFailed));
    return false;
}
bool scriptedDefault(char** name, char** errorText) {
    script.calls.push_back("default");
    if (script.defaultSucceeds) {
        *name = newText("Quor Default");
        return true;
    }
    *name = newText("");
    replaceText(errorText, newText(kCommandFailed));
    return false;
}
int scriptedRetrieve(char** location, char** errorText) {
    script.calls.push_back("retrieve");
    *location = new char[260]();
    if (script.retrieveResult != 0) {
        std::snprintf(*location, 260, "%s", "C:/\\quor/\\qep");
    } else if (script.retrieveSetsError) {
        replaceText(errorText, newText(kCommandFailed));
    }
    return script.retrieveResult;
}
char* scriptedManufacturer() {
    script.calls.push_back("manufacturer");
    return script.manufacturer != nullptr ? newText(script.manufacturer) : nullptr;
}

const CollectorSteps kScriptedSteps = {
    scriptedInitialize, scriptedRelease,  scriptedStatus,       scriptedBrand,
    scriptedDefault,    scriptedRetrieve, scriptedManufacturer,
};

class CollectorFlowTest : public ::testing::Test {
protected:
    void SetUp() override { script = Script(); }
    test_support::ScopedSeam<const CollectorSteps*> steps{collector::setCollectorStepsForTesting, &kScriptedSteps};
};

std::string text(const char* value) { return value != nullptr ? value : "<null>"; }

struct FlowRow {
    const char* name;
    Script script;
    int result;
    int status;
    int brandStatus;
    const char* brandName;
    const char* defaultBrandName;
    const char* dataLocation;
    const char* ipmiError;
    const char* manufacturerName;
    const char* stderrText;
    std::vector<std::string> calls;
};

Script modeScript(int mode) {
    Script s;
    s.mode = mode;
    return s;
}

std::vector<FlowRow> flowRows() {
    // The rows stay laid out as a table: the formatter would give each field a line of its own.
    // clang-format off
    std::vector<FlowRow> rows;
    {
        Script s;
        s.initializes = false;
        rows.push_back({"agent fails to come up", s, 1, -1, 1, nullptr, nullptr, nullptr,
                        "RUXA Initialization failed", nullptr, "", {"initialize"}});
    }
    rows.push_back({"mode 0 default", modeScript(0), 0, 1, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                    "", {"initialize", "status", "release"}});
    rows.push_back({"mode 1 debrand", modeScript(1), 0, 0, 1, nullptr, "Quor Default", nullptr, nullptr,
                    nullptr, "", {"initialize", "status", "default", "release"}});
    {
        Script s = modeScript(1);
        s.defaultSucceeds = false;
        rows.push_back({"mode 1 without default brand", s, 0, -1, 1, nullptr, nullptr, nullptr, kCommandFailed,
                        nullptr, "unable to get default brand name\n",
                        {"initialize", "status", "default", "release"}});
    }
    rows.push_back({"mode 2 string rebrand", modeScript(2), 0, 0, 2, "Acme", "Quor Default", nullptr, nullptr,
                    "Quor", "Getting manufacturername Quor 4 \n",
                    {"initialize", "status", "brand", "default", "manufacturer", "release"}});
    {
        Script s = modeScript(2);
        s.brandSucceeds = false;
        rows.push_back({"mode 2 brand fails", s, 0, -1, 1, nullptr, nullptr, nullptr, kCommandFailed, "Quor",
                        "unable to get brand name\nGetting manufacturername Quor 4 \n",
                        {"initialize", "status", "brand", "manufacturer", "release"}});
    }
    {
        Script s = modeScript(3);
        s.brandSucceeds = false;
        s.brandSetsError = false;
        rows.push_back({"mode 3 brand fails without error text", s, 0, -1, 1, nullptr, nullptr, nullptr,
                        nullptr, "Quor", "Getting manufacturername Quor 4 \n",
                        {"initialize", "status", "brand", "manufacturer", "release"}});
    }
    {
        Script s = modeScript(2);
        s.defaultSucceeds = false;
        rows.push_back({"mode 2 default brand fails", s, 0, -1, 1, "Acme", nullptr, nullptr, kCommandFailed,
                        "Quor", "unable to retrieve default brand name\nGetting manufacturername Quor 4 \n",
                        {"initialize", "status", "brand", "default", "manufacturer", "release"}});
    }
    rows.push_back({"mode 3 complete rebrand", modeScript(3), 0, 0, 3, "Acme", "Quor Default", "C:/\\quor/\\qep",
                    nullptr, "Quor", "Getting manufacturername Quor 4 \n",
                    {"initialize", "status", "brand", "default", "retrieve", "manufacturer", "release"}});
    {
        Script s = modeScript(3);
        s.retrieveResult = 0;
        rows.push_back({"mode 3 retrieval fails", s, 0, 0, 2, "Acme", "Quor Default", nullptr, kCommandFailed,
                        "Quor",
                        "Error IPMI Command failed\nunable to retrieve pm data\n"
                        "Getting manufacturername Quor 4 \n",
                        {"initialize", "status", "brand", "default", "retrieve", "manufacturer", "release"}});
    }
    {
        Script s = modeScript(3);
        s.retrieveResult = 0;
        s.retrieveSetsError = false;
        rows.push_back({"mode 3 retrieval fails without error text", s, 0, 0, 2, "Acme", "Quor Default", nullptr,
                        nullptr, "Quor", "unable to retrieve pm data\nGetting manufacturername Quor 4 \n",
                        {"initialize", "status", "brand", "default", "retrieve", "manufacturer", "release"}});
    }
    rows.push_back({"mode 4 without error text", modeScript(4), 0, -1, 1, nullptr, nullptr, nullptr, nullptr,
                    "Quor", "IPMI command error. Setting PM mode to debrand\nGetting manufacturername Quor 4 \n",
                    {"initialize", "status", "manufacturer", "release"}});
    {
        Script s = modeScript(-1);
        s.modeSetsError = true;
        rows.push_back({"failed status query", s, 1, -1, 1, nullptr, nullptr, nullptr, kCommandFailed, nullptr,
                        "IPMI command error. Setting PM mode to debrand\n", {"initialize", "status", "release"}});
    }
    rows.push_back({"negative mode byte without error text", modeScript(-56), 0, -1, 1, nullptr, nullptr, nullptr,
                    nullptr, nullptr, "IPMI command error. Setting PM mode to debrand\n",
                    {"initialize", "status", "release"}});
    {
        Script s = modeScript(200);
        s.modeSetsError = true;
        rows.push_back({"mode above 3 with error text", s, 1, -1, 1, nullptr, nullptr, nullptr, kCommandFailed,
                        "Quor", "IPMI command error. Setting PM mode to debrand\nGetting manufacturername Quor 4 \n",
                        {"initialize", "status", "manufacturer", "release"}});
    }
    {
        Script s = modeScript(2);
        s.manufacturer = nullptr;
        rows.push_back({"no manufacturer name", s, 0, 0, 2, "Acme", "Quor Default", nullptr, nullptr, nullptr,
                        "Getting manufacturername  0 \n",
                        {"initialize", "status", "brand", "default", "manufacturer", "release"}});
    }
    return rows;
    // clang-format on
}

TEST_F(CollectorFlowTest, EveryBranchOfThePMModeTable) {
    for (const FlowRow& row : flowRows()) {
        SCOPED_TRACE(row.name);
        script = row.script;
        PMInfo* info = nullptr;
        test_support::captureStderr();
        const int result = collector::getPMInfo(7, &info);
        const std::string errors = test_support::capturedStderr();

        ASSERT_NE(info, nullptr);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(info->status, row.status);
        EXPECT_EQ(info->brandStatus, row.brandStatus);
        EXPECT_EQ(text(info->brandName), text(row.brandName));
        EXPECT_EQ(text(info->defaultBrandName), text(row.defaultBrandName));
        EXPECT_EQ(text(info->dataLocation), text(row.dataLocation));
        EXPECT_EQ(text(info->ipmiError), text(row.ipmiError));
        EXPECT_EQ(text(info->manufacturerName), text(row.manufacturerName));
        EXPECT_EQ(errors, row.stderrText);
        EXPECT_EQ(script.calls, row.calls);
        EXPECT_EQ(collector::freePMInfo(info), 0);
    }
}

TEST_F(CollectorFlowTest, EachCallStartsAZeroedContextWithItsRequesterId) {
    collector::beginCommandContext()->responseLength = 99;
    PMInfo* info = nullptr;
    test_support::captureStderr();
    collector::getPMInfo(0x16, &info);
    test_support::capturedStderr();
    const collector::PMCommandContext* context = collector::currentCommandContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->requesterId, 0x16);
    EXPECT_EQ(context->responseLength, 0);
    EXPECT_EQ(context->responseData[1], 0);
    collector::freePMInfo(info);
}

TEST_F(CollectorFlowTest, RecordTextsAreTheLibrarysOwnCopies) {
    script.mode = 2;
    PMInfo* first = nullptr;
    PMInfo* second = nullptr;
    test_support::captureStderr();
    collector::getPMInfo(1, &first);
    collector::getPMInfo(1, &second);
    test_support::capturedStderr();
    EXPECT_NE(first->brandName, second->brandName);
    EXPECT_NE(first->manufacturerName, second->manufacturerName);
    collector::freePMInfo(first);
    EXPECT_STREQ(second->brandName, "Acme");
    collector::freePMInfo(second);
}

TEST_F(CollectorFlowTest, StatusQueryPrintsItsProgressAndReturnsTheMode) {
    script.mode = 3;
    test_support::captureStdout();
    EXPECT_EQ(collector::getPMStatus(), 3);
    EXPECT_EQ(test_support::capturedStdout(),
              "RUXA Installation done\ngetPMStatus 3\nRUXA unInstallation done\ndelete  done\n");
    EXPECT_EQ(script.calls, (std::vector<std::string>{"initialize", "status", "release"}));
}

TEST_F(CollectorFlowTest, StatusQueryReturnsTheFailureValueUnchanged) {
    script.mode = -1;
    script.modeSetsError = true;
    test_support::captureStdout();
    EXPECT_EQ(collector::getPMStatus(), -1);
    EXPECT_EQ(test_support::capturedStdout(),
              "RUXA Installation done\ngetPMStatus -1\nRUXA unInstallation done\ndelete  done\n");
}

TEST_F(CollectorFlowTest, StatusQueryWithoutAgentPrintsNothing) {
    script.initializes = false;
    test_support::captureStdout();
    EXPECT_EQ(collector::getPMStatus(), -1);
    EXPECT_EQ(test_support::capturedStdout(), "");
    EXPECT_EQ(script.calls, (std::vector<std::string>{"initialize"}));
}

TEST_F(CollectorFlowTest, NullOutParameterFailsAtOnceAndTouchesNothing) {
    script.mode = 3;
    const collector::PMCommandContext* before = collector::beginCommandContext();
    EXPECT_EQ(collector::getPMInfo(6, nullptr), 1);
    EXPECT_EQ(collector::getTestPMInfo(6, nullptr), 1);
    EXPECT_TRUE(script.calls.empty());  // no agent, no controller
    EXPECT_EQ(collector::currentCommandContext(), before);
}

TEST(CannedRecord, IsTheSameWhateverTheRequester) {
    for (int requester : {0, 6, -1}) {
        PMInfo* info = nullptr;
        EXPECT_EQ(collector::getTestPMInfo(requester, &info), 0);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->status, 0);
        EXPECT_EQ(info->brandStatus, 1);
        EXPECT_EQ(info->brandName, nullptr);
        EXPECT_EQ(info->ipmiError, nullptr);
        EXPECT_EQ(info->manufacturerName, nullptr);
        EXPECT_EQ(collector::freePMInfo(info), 0);
    }
    EXPECT_EQ(collector::freePMInfo(nullptr), 0);
}

// Natively there is no agent registry, so the product's own steps can only
// report the initialization failure. (Under Wine the end-to-end scenarios
// cover the same record against the real agent steps.)
TEST(ProductFlow, WithoutAnAgentTheRecordIsTheInitializationFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "covered by the end-to-end scenarios under Wine";
#endif
    PMInfo* info = nullptr;
    test_support::captureStderr();
    EXPECT_EQ(collector::getPMInfo(6, &info), 1);
    test_support::capturedStderr();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->status, -1);
    EXPECT_EQ(info->brandStatus, 1);
    EXPECT_STREQ(info->ipmiError, "RUXA Initialization failed");
    EXPECT_EQ(info->brandName, nullptr);
    EXPECT_EQ(info->defaultBrandName, nullptr);
    EXPECT_EQ(info->dataLocation, nullptr);
    EXPECT_EQ(info->manufacturerName, nullptr);
    collector::freePMInfo(info);
}

}  // namespace
