#ifndef VELMORA_SMBIOS_MESSAGE_EXPANSION_H
#define VELMORA_SMBIOS_MESSAGE_EXPANSION_H

#include <cstddef>
#include <map>
#include <string>

// Part of the error vocabulary (exception.h): includes nothing of the project.
namespace smbios {

// How many placeholders one expansion replaces at most. Inserted text is
// scanned again, so a value holding its own placeholder would otherwise grow
// without end; once the budget is spent the rest of the text stays as it is.
constexpr std::size_t kMaxPlaceholderReplacements = 256;

// Expands an error message template: "%%" becomes "%", "%(name)s" the string
// parameter `name`, "%(name)i" the integer parameter `name` as an unsigned
// 32-bit decimal. A placeholder longer than 32 characters, with another type
// letter, or whose name is not set for its type letter stays unexpanded.
std::string expandMessage(const std::string& messageTemplate,
                          const std::map<std::string, std::string>& stringParameters,
                          const std::map<std::string, int>& numParameters);

}  // namespace smbios

#endif
