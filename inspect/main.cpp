#include <iostream>
#include <string>
#include <vector>

#include "inspect/hwinspect.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const int status = hwinspect::run(args, std::cout, std::cerr);
    std::cout.flush();
    if (std::cout.good()) return status;
    // What was asked for did not reach its reader: a failure, and it says so.
    // No system reason is added: errno by now may be that of any earlier call.
    std::cerr << "hwinspect: could not write to standard output\n";
    return status != hwinspect::kExitOk ? status : hwinspect::kExitFailure;
}
