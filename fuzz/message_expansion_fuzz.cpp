// Fuzz target: expansion of an error message template with arbitrary named
// parameters. The input is split at NUL bytes: the first part is the
// template; each further part "name=value" sets a string parameter, and one
// starting with '#' ("#name=123") an integer parameter. Values may hold
// placeholders of their own, which expansion scans again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "smbios/message_expansion.h"
#include "smbios/smbios_exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::map<std::string, std::string> strings;
    std::map<std::string, int> numbers;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const std::size_t equals = part.find('=');
        if (equals == std::string::npos) continue;
        if (!part.empty() && part[0] == '#') {
            numbers[part.substr(1, equals - 1)] = static_cast<int>(std::strtol(part.c_str() + equals + 1, nullptr, 10));
        } else {
            strings[part.substr(0, equals)] = part.substr(equals + 1);
        }
    }
    const std::string expanded = smbios::expandMessage(parts[0], strings, numbers);

    // The same through an exception object, twice: what() must be stable.
    smbios::ParseExceptionImpl error(parts[0]);
    for (const auto& entry : strings) error.setParameter(entry.first, entry.second);
    for (const auto& entry : numbers) error.setParameter(entry.first, entry.second);
    const std::string first = error.what();
    if (first != error.what() || first != expanded) std::abort();
    return 0;
}
