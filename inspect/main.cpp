#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "inspect/hwinspect.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    errno = 0;
    const int status = hwinspect::run(args, std::cout, std::cerr);
    std::cout.flush();
    if (std::cout.good()) return status;
    // What was asked for did not reach its reader: a failure, and it says so.
    const int writeError = errno;
    std::cerr << "hwinspect: could not write to standard output";
    if (writeError != 0) std::cerr << ": " << std::strerror(writeError);
    std::cerr << "\n";
    return status != hwinspect::kExitOk ? status : hwinspect::kExitFailure;
}
