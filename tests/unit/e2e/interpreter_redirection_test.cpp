// The command-interpreter adapter's reading of "/c COMMAND": which trailing
// redirections it applies itself, and what it leaves to cmd.exe untouched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/interpreter_redirection.h"

namespace {

using comspec::InterpreterCommand;
using comspec::Redirection;
using comspec::RedirectionKind;

Redirection toFile(int handle, const char* file) { return Redirection{handle, RedirectionKind::Truncate, file, 0}; }
Redirection appendTo(int handle, const char* file) { return Redirection{handle, RedirectionKind::Append, file, 0}; }
Redirection duplicate(int handle, int of) { return Redirection{handle, RedirectionKind::Duplicate, "", of}; }

TEST(ComspecRedirection, AppliesTrailingOutputRedirections) {
    struct Case {
        const char* arguments;
        const char* command;
        std::vector<Redirection> redirections;
    };
    for (const Case& c : {
             // The staging commands' tail: the file "2" first, then the log.
             Case{" /c mkdir \"C:/\\quor/\\qep\" 1>2>C:\\pm.log",
                  "mkdir \"C:/\\quor/\\qep\"",
                  {toFile(1, "2"), toFile(1, "C:\\pm.log")}},
             Case{" /c del /F \"C:/\\q/\\*.gif\" \"C:/\\q/\\*.xml\"  1>2>C:\\pm.log",
                  "del /F \"C:/\\q/\\*.gif\" \"C:/\\q/\\*.xml\"",
                  {toFile(1, "2"), toFile(1, "C:\\pm.log")}},
             Case{" /c xcopy /e /i \"S:\\\\installer\" \"C:/\\quor/\\qep\" 1>2>C:\\pm.log",
                  "xcopy /e /i \"S:\\\\installer\" \"C:/\\quor/\\qep\"",
                  {toFile(1, "2"), toFile(1, "C:\\pm.log")}},
             // No redirection: the command as it stands.
             Case{" /c del /F \"C:\\pm.log\"", "del /F \"C:\\pm.log\"", {}},
             Case{" /c dir a\"b > c\"d", "dir a\"b > c\"d", {}},
             Case{"   /C dir  ", "dir  ", {}},
             // Each form, with and without blanks around it.
             Case{" /c dir >out.txt", "dir", {toFile(1, "out.txt")}},
             Case{" /c dir>out.txt", "dir", {toFile(1, "out.txt")}},
             Case{" /c dir 2> err.txt", "dir", {toFile(2, "err.txt")}},
             Case{" /c dir >>a.log 2>>b.log", "dir", {appendTo(1, "a.log"), appendTo(2, "b.log")}},
             Case{" /c dir > \"my file.log\" 2>&1", "dir", {toFile(1, "my file.log"), duplicate(2, 1)}},
             Case{" /c dir 2>&1>x", "dir", {duplicate(2, 1), toFile(1, "x")}},
             // A digit inside a word is part of the word, not a handle.
             Case{" /c echo file2>x", "echo file2", {toFile(1, "x")}},
         }) {
        InterpreterCommand command;
        ASSERT_TRUE(comspec::parseInterpreterArguments(c.arguments, &command)) << c.arguments;
        EXPECT_EQ(command.text, c.command) << c.arguments;
        EXPECT_EQ(command.redirections, c.redirections) << c.arguments;
    }
}

TEST(ComspecRedirection, LeavesEverythingElseToTheInterpreter) {
    for (const char* arguments : {
             "",
             " /k dir",
             " dir /c",
             " /cdir",
             " /c",
             " /c   ",
             " /s /c \"x.bat\"",
             " /c dir | more",
             " /c dir & dir",
             " /c dir && dir >x",
             " /c sort <in.txt",
             " /c echo ^>x",
             " /c echo a >x b",  // more command after a redirection
             " /c echo a 3>x",
             " /c echo a 0>x",
             " /c echo a 2>&3",
             " /c echo a >&",
             " /c echo a >",
             " /c echo a > \"\"",
             " /c echo a >\"x",
             " /c echo a >x\"y\"",
             " /c echo \"a >x",  // unclosed quote
             " /c >x",           // nothing to run
         }) {
        InterpreterCommand command;
        EXPECT_FALSE(comspec::parseInterpreterArguments(arguments, &command)) << arguments;
    }
}

TEST(ComspecRedirection, FindsTheArgumentsAfterTheProgramName) {
    struct Case {
        const char* line;
        const char* comspec;
        const char* arguments;
    };
    for (const Case& c : {
             // The C runtime writes COMSPEC unquoted, blanks included.
             Case{"Z:\\run dir\\comspec_adapter.exe /c dir", "Z:\\run dir\\comspec_adapter.exe", " /c dir"},
             Case{"\"Z:\\run dir\\a.exe\" --launch p.exe 6", "C:\\windows\\system32\\cmd.exe", " --launch p.exe 6"},
             Case{"a.exe /c dir", "", " /c dir"},
             Case{"C:\\a.exe2 /c dir", "C:\\a.exe", " /c dir"},
             Case{"C:\\a.exe", "C:\\a.exe", ""},
             Case{"\"unclosed /c dir", "", ""},
         }) {
        EXPECT_EQ(comspec::argumentsAfterProgram(c.line, c.comspec), c.arguments) << c.line;
    }
}

}  // namespace
