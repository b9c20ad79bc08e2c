#include <iostream>
#include <string>
#include <vector>

#include "inspect/hwinspect.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const int status = hwinspect::run(args, std::cout, std::cerr);
    std::cout.flush();
    return std::cout.good() || status != hwinspect::kExitOk ? status : hwinspect::kExitFailure;
}
