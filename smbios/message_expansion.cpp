#include "smbios/message_expansion.h"

#include <cstdint>

namespace smbios {

namespace {

// "%(" + name + ")" + type letter: names of up to 28 characters fit.
constexpr std::size_t kMaxPlaceholderLength = 32;

// The replacement text of a placeholder, or false when it stays as it is.
bool lookUp(char type, const std::string& name, const std::map<std::string, std::string>& strings,
            const std::map<std::string, int>& nums, std::string& replacement) {
    if (type == 'i') {
        const auto found = nums.find(name);
        if (found == nums.end()) return false;
        replacement = std::to_string(static_cast<std::uint32_t>(found->second));
        return true;
    }
    if (type == 's') {
        const auto found = strings.find(name);
        if (found == strings.end()) return false;
        replacement = found->second;
        return true;
    }
    return false;
}

}  // namespace

std::string expandMessage(const std::string& messageTemplate,
                          const std::map<std::string, std::string>& stringParameters,
                          const std::map<std::string, int>& numParameters) {
    std::string out = messageTemplate;
    std::size_t replacementsLeft = kMaxPlaceholderReplacements;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t percent = out.find('%', pos);
        if (percent == std::string::npos || percent + 1 >= out.size()) break;
        const char next = out[percent + 1];
        if (next == '%') {
            out.erase(percent, 1);
            pos = percent + 1;
            continue;
        }
        if (next != '(') {
            pos = percent + 1;
            continue;
        }
        const std::size_t close = out.find(')', percent);
        if (close == std::string::npos) {
            pos = percent + 1;
            continue;
        }
        // No room for a type letter: the tail is left alone.
        if (close + 1 >= out.size()) break;
        const std::size_t length = close - percent + 2;
        std::string replacement;
        if (length > kMaxPlaceholderLength || !lookUp(out[close + 1], out.substr(percent + 2, close - percent - 2),
                                                      stringParameters, numParameters, replacement)) {
            pos = percent + 1;
            continue;
        }
        if (replacementsLeft == 0) break;
        --replacementsLeft;
        out.replace(percent, length, replacement);
        // Inserted text is scanned too: values may carry placeholders and "%%".
        pos = percent;
    }
    return out;
}

}  // namespace smbios
