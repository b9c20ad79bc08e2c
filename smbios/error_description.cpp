#include "smbios/error_description.h"

#include <cstdint>

#include "smbios/exception.h"
#include "smbios/smbios_exceptions.h"

namespace smbios {

namespace {

// The codes that ride along as named parameters (exception.h).
struct Code {
    const char* name;
    bool hexadecimal;
};
constexpr Code kCodes[] = {{"ntstatus", true}, {"last_error", false}, {"hresult", true}};

// A chain of causes deeper than this is cut: no real failure nests so far.
constexpr int kMaxCauses = 16;

std::string hexadecimal(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return text;
}

const IErrorParameters* parametersOf(const std::exception& error) {
    return dynamic_cast<const IErrorParameters*>(&error);
}

}  // namespace

namespace {

// The walk goes on inside each handler: the cause is only certain to live
// while it is being handled.
void appendCauses(const std::exception& error, std::string& text, int depth) {
    if (depth >= kMaxCauses) return;
    try {
        std::rethrow_if_nested(error);
    } catch (const std::exception& cause) {
        text += "\n  cause: " + summary(cause);
        appendCauses(cause, text, depth + 1);
        return;
    } catch (...) {
        text += "\n  cause: an error that is not a std::exception";
        return;
    }
    const IErrorParameters* parameters = parametersOf(error);
    const std::string cause = parameters != nullptr ? parameters->getParameterString("cause") : std::string();
    if (!cause.empty()) text += "\n  cause: " + cause;
}

}  // namespace

std::string summary(const std::exception& error) {
    std::string text = error.what();
    if (text.empty()) {
        text = dynamic_cast<const NotImplemented*>(&error) != nullptr ? "Not available on this machine."
                                                                      : "Failed without a message.";
    }
    const IErrorParameters* parameters = parametersOf(error);
    if (parameters == nullptr) return text;
    std::string codes;
    for (const Code& code : kCodes) {
        const auto value = static_cast<std::uint32_t>(parameters->getParameterNum(code.name));
        if (value == 0) continue;
        codes += codes.empty() ? " (" : ", ";
        codes += std::string(code.name) + " " + (code.hexadecimal ? hexadecimal(value) : std::to_string(value));
    }
    return codes.empty() ? text : text + codes + ")";
}

std::string describe(const std::exception& error) {
    std::string text = summary(error);
    appendCauses(error, text, 0);
    return text;
}

}  // namespace smbios
