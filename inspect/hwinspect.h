#ifndef VELMORA_INSPECT_HWINSPECT_H
#define VELMORA_INSPECT_HWINSPECT_H

#include <ostream>
#include <string>
#include <vector>

namespace hwinspect {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the library or the tool could not answer
constexpr int kExitUsage = 2;    // the command line is wrong

// One run of the tool with the arguments after the program name. Answers go
// to `out`, errors and the usage text to `err`. The factories the run set up
// are reset before it returns.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The text of --help.
std::string helpText();

// The usage lines and the list of commands that --help starts with and a
// wrong command line gets.
std::string synopsis();

// Every form of every command as users type it ("token ID activate"), in
// the order the synopsis lists them.
std::vector<std::string> commandForms();

}  // namespace hwinspect

#endif
