// Fuzz target: hwinspect's command line, parsed only (nothing is run). The
// input is split at NUL bytes into the arguments. Every argument is also read
// as a number, as the commands read their handles, ids and offsets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "inspect/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    if (size == 0) args.clear();
    try {
        const hwinspect::Options options = hwinspect::parseCommandLine(args);
        if (options.words.size() > args.size()) std::abort();
    } catch (const hwinspect::UsageError&) {
    }
    for (const std::string& arg : args) {
        for (const std::uint64_t max : {0xFFull, 0xFFFFull, 0xFFFFFFFFull, ~0ull}) {
            std::uint64_t value = 0;
            if (hwinspect::parseNumber(arg, max, value) && value > max) std::abort();
        }
    }
    return 0;
}
