#ifndef VELMORA_TESTS_E2E_INTERPRETER_REDIRECTION_H
#define VELMORA_TESTS_E2E_INTERPRETER_REDIRECTION_H

// How the command-interpreter adapter of the end-to-end scenarios reads its
// command line. Test support, not part of the product.
//
// The C runtime's system() starts the interpreter named by COMSPEC with the
// command line "COMSPEC /c COMMAND". Windows' interpreter applies the output
// redirections written at the end of COMMAND left to right: each N>FILE opens
// (and truncates) FILE for handle N, and the last one for a handle wins. So
// " 1>2>C:\pm.log" leaves an empty file "2" in the current folder and the
// output in C:\pm.log. Wine's cmd.exe rejects that tail, so the adapter takes
// the trailing redirections off, applies them itself and hands the rest to
// cmd.exe. This reading is plain code, tested natively as well.

#include <string>
#include <vector>

namespace comspec {

enum class RedirectionKind {
    Truncate,   // N>FILE
    Append,     // N>>FILE
    Duplicate,  // N>&M
};

struct Redirection {
    int handle = 1;  // 1: standard output, 2: standard error
    RedirectionKind kind = RedirectionKind::Truncate;
    std::string file;     // Truncate, Append: the file as written, quotes removed
    int duplicateOf = 0;  // Duplicate: the handle whose target is copied

    bool operator==(const Redirection& other) const {
        return handle == other.handle && kind == other.kind && file == other.file && duplicateOf == other.duplicateOf;
    }
};

struct InterpreterCommand {
    std::string text;                       // what cmd.exe is given after "/c"
    std::vector<Redirection> redirections;  // in the order written
};

// What follows the program name in `commandLine`. The C runtime writes the
// COMSPEC value unquoted, blanks and all, so a line that begins with
// `comspecValue` loses exactly that; otherwise the first argument is taken off
// by the usual rule (a quoted name up to its closing quote, else up to the
// first blank). Leading blanks of the result are kept.
std::string argumentsAfterProgram(const std::string& commandLine, const std::string& comspecValue);

// Reads "/c COMMAND" and takes COMMAND's trailing output redirections off.
// False when the arguments are anything else, or when COMMAND holds what the
// adapter leaves to cmd.exe: pipes, command separators, input redirection,
// escapes, an unclosed quote, a redirection followed by more of the command,
// or handles other than 1 and 2. A command without redirections is read as
// it stands.
bool parseInterpreterArguments(const std::string& arguments, InterpreterCommand* command);

}  // namespace comspec

#endif
