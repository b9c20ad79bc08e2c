#include "inspect/inspect_error.h"

#include "smbios/smbios_exceptions.h"

namespace hwinspect {

std::string reasonOf(const std::exception& error) {
    const std::string message = error.what();
    if (!message.empty()) return message;
    if (dynamic_cast<const smbios::NotImplemented*>(&error) != nullptr) {
        return "Not available on this machine.";
    }
    return "Failed without a message.";
}

}  // namespace hwinspect
