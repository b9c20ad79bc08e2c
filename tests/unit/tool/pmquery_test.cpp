// The report tool over scripted collector exports: argument parsing, exit
// codes, the report on standard output and in a file, the folder check.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/support/captured_output.h"
#include "tests/unit/support/scoped_seam.h"
#include "tests/unit/support/temp_path.h"
#include "tool/pmquery.h"
#include "tool/report.h"
#include "tool/shell_operations.h"
#include "tests/unit/support/files.h"

namespace {

namespace fs = std::filesystem;

// The scripted library: hands out a copy of `record` (or none) and counts calls.
struct Library {
    PMInfo record{};
    bool returnsRecord = true;
    std::vector<int> requesters;
    int freed = 0;
};
Library library;

char* owned(const char* text) {
    if (text == nullptr) return nullptr;
    char* copy = new char[std::char_traits<char>::length(text) + 1];
    std::char_traits<char>::copy(copy, text, std::char_traits<char>::length(text) + 1);
    return copy;
}

int scriptedGetPMInfo(int requesterId, PMInfo** out) {
    library.requesters.push_back(requesterId);
    if (!library.returnsRecord) {
        *out = nullptr;
        return 1;
    }
    PMInfo* info = new PMInfo(library.record);
    info->brandName = owned(library.record.brandName);
    info->defaultBrandName = owned(library.record.defaultBrandName);
    info->dataLocation = owned(library.record.dataLocation);
    info->ipmiError = owned(library.record.ipmiError);
    info->manufacturerName = owned(library.record.manufacturerName);
    *out = info;
    return 0;
}

int scriptedFreePMInfo(PMInfo* info) {
    ++library.freed;
    if (info == nullptr) return 0;
    for (char* text :
         {info->brandName, info->defaultBrandName, info->dataLocation, info->ipmiError, info->manufacturerName})
        delete[] text;
    delete info;
    return 0;
}

const pmquery::CollectorEntryPoints kScriptedLibrary = {scriptedGetPMInfo, scriptedFreePMInfo};

// Staging is not under test here: record what it would do, touch nothing.
class NoShell : public pmquery::ShellOperations {
public:
    std::string currentDirectory() override { return "D:\\tool"; }
    int createDirectory(const std::string&) override { return 0; }
    int copyFiles(const std::string& source, const std::string&) override {
        copies.push_back(source);
        return 0;
    }
    std::vector<std::string> copies;
};

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

class PMQueryTest : public ::testing::Test {
protected:
    void SetUp() override { library = Library(); }

    Outcome run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "pmquery");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        test_support::captureStdout();
        test_support::captureStderr();
        const int exitCode = pmquery::runPMQuery(static_cast<int>(arguments.size()), argv.data());
        std::string out = test_support::capturedStdout();
        std::string err = test_support::capturedStderr();
        return {exitCode, out, err};
    }

    // A path in the test folder, written with the backslash the tool looks for.
    std::string reportPath(const std::string& name) const { return folder.string() + "\\" + name; }
    fs::path reportFile(const std::string& name) const {
        // Natively "dir\name" is one file name inside the parent folder, named
        // with a backslash; on Windows it is the file inside the folder.
#ifdef _WIN32
        return folder / name;
#else
        return fs::path(folder.string() + "\\" + name);
#endif
    }

    NoShell shell;
    test_support::ScopedSeam<const pmquery::CollectorEntryPoints*> librarySeam{
        pmquery::setCollectorEntryPointsForTesting, &kScriptedLibrary};
    test_support::ScopedSeam<pmquery::ShellOperations*> shellSeam{pmquery::setShellOperationsForTesting, &shell};
    test_support::TempPath folder{"pmquery-test"};
};

// The record the scripted library hands out; a null text leaves its field null.
struct Given {
    int status;
    int brandStatus;
    const char* brandName = nullptr;
    const char* defaultBrandName = nullptr;
    const char* manufacturerName = nullptr;
    const char* dataLocation = nullptr;
    const char* ipmiError = nullptr;
};
void give(const Given& given) {
    library.record.status = given.status;
    library.record.brandStatus = given.brandStatus;
    library.record.brandName = const_cast<char*>(given.brandName);
    library.record.defaultBrandName = const_cast<char*>(given.defaultBrandName);
    library.record.manufacturerName = const_cast<char*>(given.manufacturerName);
    library.record.dataLocation = const_cast<char*>(given.dataLocation);
    library.record.ipmiError = const_cast<char*>(given.ipmiError);
}

// On Windows the report file is written in text mode: CR LF line ends.
std::string lineEnds(const std::string& text) {
#ifdef _WIN32
    std::string converted;
    for (char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
#else
    return text;
#endif
}

TEST_F(PMQueryTest, RequesterIdIsReadAsHexadecimal) {
    struct Row {
        const char* argument;
        int requester;
    };
    for (const Row& row :
         {Row{"0x6", 6}, Row{"6", 6}, Row{"10", 16}, Row{"  a", 10}, Row{"6zz", 6}, Row{"0XfF", 255}}) {
        SCOPED_TRACE(row.argument);
        library.requesters.clear();
        EXPECT_EQ(run({row.argument}).exitCode, 1);
        EXPECT_EQ(library.requesters, std::vector<int>{row.requester});
    }
}

TEST_F(PMQueryTest, UnreadableRequesterIdNeverReachesTheLibrary) {
    struct Row {
        const char* argument;
        const char* err;
    };
    for (const Row& row : {Row{"xyz", "sscanf returned 0\nCould not read PM information"},
                           Row{"", "sscanf returned -1\nCould not read PM information"},
                           Row{"   ", "sscanf returned -1\nCould not read PM information"}}) {
        SCOPED_TRACE(row.argument);
        const Outcome outcome = run({row.argument});
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, row.err);
    }
    EXPECT_TRUE(library.requesters.empty());
    EXPECT_EQ(library.freed, 3);  // the null record is handed back all the same
}

TEST_F(PMQueryTest, MissingArgumentAndMissingRecord) {
    Outcome outcome = run({});
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(outcome.err, "Incorrect number of arguments\n");
    EXPECT_EQ(library.freed, 0);

    library.returnsRecord = false;
    outcome = run({"6"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "Could not read PM information");
}

TEST_F(PMQueryTest, ReportOnStandardOutputWithNullFields) {
    give({-1, 1, nullptr, nullptr, nullptr, nullptr, "RUXA Initialization failed"});
    const Outcome onStdout = run({"6"});
    EXPECT_EQ(onStdout.exitCode, 1);
    EXPECT_EQ(onStdout.out,
              "PMStatus=IPMI_ERR\nPMBrandStatus=DEBRAND\nPMBrandName=\nPMDefaultBrandName=\n"
              "PMManufacturerName=\nPMDataLocation=\nPM_IPMIError=\"RUXA Initialization failed\"\n");
    EXPECT_EQ(onStdout.err, "");
}

TEST_F(PMQueryTest, ReportInAFileIsUnquotedAndReplacesTheOldFile) {
    give({0, 3, "Acme", "Quor", "Quor Computer", "C:/\\quor/\\qep"});
    {
        std::ofstream old(reportFile("report.txt"));
        old << std::string(4000, 'x');
    }
    const Outcome outcome = run({"6", reportPath("report.txt"), "further", "arguments"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(test_support::readFile(reportFile("report.txt")),
              lineEnds("PMStatus=ON\nPMBrandStatus=COMPLETE_REBRAND\nPMBrandName=Acme\nPMDefaultBrandName=Quor\n"
                       "PMManufacturerName=Quor Computer\nPMDataLocation=C:/\\quor/\\qep\nPM_IPMIError=\n"));
}

// A value holding a line end would add lines to the report, which tooling
// reads as one key=value line per key.
TEST_F(PMQueryTest, LineEndsInsideValuesAreWrittenAsBlanks) {
    give({0, 2, "Acme\nPMStatus=OFF", "Quor\r\nX", "\rQuor\n", nullptr, "IPMI\nCommand failed"});
    const std::string expected =
        "PMStatus=ON\nPMBrandStatus=STRING_REBRAND\nPMBrandName=Acme PMStatus=OFF\nPMDefaultBrandName=Quor  X\n"
        "PMManufacturerName= Quor \nPMDataLocation=\nPM_IPMIError=";
    const Outcome onStdout = run({"6"});
    EXPECT_EQ(onStdout.out, expected + "\"IPMI Command failed\"\n");

    run({"6", reportPath("report.txt")});
    EXPECT_EQ(test_support::readFile(reportFile("report.txt")), lineEnds(expected + "IPMI Command failed\n"));
}

TEST_F(PMQueryTest, ReportIntoAMissingFolderIsRefusedButStillExitsOne) {
    const std::string path = folder.string() + "\\missing\\report.txt";
    const Outcome outcome = run({"6", path});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "Could not write to file " + path);
    EXPECT_EQ(library.freed, 1);
}

TEST_F(PMQueryTest, ReportFileThatCannotBeOpenedIsNamed) {
    // The folder exists, but the report's name is taken by a folder.
    fs::create_directories(reportFile("taken"));
    const Outcome outcome = run({"6", reportPath("taken")});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "Could not write to file " + reportPath("taken"));
}

TEST_F(PMQueryTest, StagingRunsOnlyForABrandedServer) {
    library.record.brandStatus = 0;
    run({"6"});
    EXPECT_TRUE(shell.copies.empty());
    library.record.brandStatus = 2;
    run({"6"});
    EXPECT_EQ(shell.copies, std::vector<std::string>{"D:\\tool\\lib\\debranded_images.jar"});
}

TEST(ReportWords, EveryValueClass) {
    EXPECT_STREQ(pmquery::statusWord(0), "ON");
    EXPECT_STREQ(pmquery::statusWord(1), "OFF");
    EXPECT_STREQ(pmquery::statusWord(-1), "IPMI_ERR");
    EXPECT_STREQ(pmquery::statusWord(5), "IPMI_ERR");
    EXPECT_STREQ(pmquery::brandStatusWord(0), "DEFAULT");
    EXPECT_STREQ(pmquery::brandStatusWord(1), "DEBRAND");
    EXPECT_STREQ(pmquery::brandStatusWord(2), "STRING_REBRAND");
    EXPECT_STREQ(pmquery::brandStatusWord(3), "COMPLETE_REBRAND");
    EXPECT_STREQ(pmquery::brandStatusWord(7), "DEFAULT");
    EXPECT_STREQ(pmquery::brandStatusWord(-1), "DEFAULT");
}

TEST(ReportWithoutRecord, BothDestinationsRefuseANullRecord) {
    test_support::captureStderr();
    EXPECT_EQ(pmquery::writePMReportToStdout(nullptr), 0);
    EXPECT_EQ(test_support::capturedStderr(), "Could not read any PM data. pmInfo is null\n");
    test_support::captureStderr();
    EXPECT_EQ(pmquery::writePMReportToFile(nullptr, "report.txt"), 0);
    EXPECT_EQ(test_support::capturedStderr(), "Could not write any PM data. pmInfo is null\n");
    // The folder check comes first.
    test_support::captureStderr();
    EXPECT_EQ(pmquery::writePMReportToFile(nullptr, "no-such-folder-here\\report.txt"), 0);
    EXPECT_EQ(test_support::capturedStderr(), "Could not write to file no-such-folder-here\\report.txt");
}

TEST_F(PMQueryTest, ParentDirectoryCheckTakesOnlyTheLastBackslash) {
    const fs::path existing = folder.path();
    EXPECT_TRUE(pmquery::parentDirectoryExists("report.txt"));     // the current directory
    EXPECT_FALSE(pmquery::parentDirectoryExists("\\report.txt"));  // empty folder part
    EXPECT_FALSE(pmquery::parentDirectoryExists("no-such-folder-here\\report.txt"));
    EXPECT_TRUE(pmquery::parentDirectoryExists((existing.string() + "\\report.txt").c_str()));
    // Forward slashes are not folder separators for the check.
    EXPECT_TRUE(pmquery::parentDirectoryExists("no-such-folder-here/report.txt"));
}

TEST(ParentFolder, ABareDriveDesignatorIsThatDrivesRoot) {
    EXPECT_EQ(pmquery::parentFolder("C:\\pm.txt"), "C:\\");
    EXPECT_EQ(pmquery::parentFolder("z:\\pm.txt"), "z:\\");
    EXPECT_EQ(pmquery::parentFolder("C:\\reports\\pm.txt"), "C:\\reports");
    EXPECT_EQ(pmquery::parentFolder("C:pm.txt"), ".");
    EXPECT_EQ(pmquery::parentFolder("1:\\pm.txt"), "1:");
    EXPECT_EQ(pmquery::parentFolder("\\pm.txt"), "");
#ifdef _WIN32
    // The C runtime's stat refuses "C:" itself; the report lands in the root.
    EXPECT_TRUE(pmquery::parentDirectoryExists("C:\\pm.txt"));
#endif
}

}  // namespace
