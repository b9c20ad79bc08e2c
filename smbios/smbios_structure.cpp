#include "smbios/smbios_structure.h"

#include <cstring>

namespace smbios {

StructureExtent measureStructure(const std::uint8_t* structure, std::size_t available) {
    if (available < 2) return {available, false};
    const std::uint8_t* const end = structure + available;
    // The string set starts behind the formatted area; with a length byte
    // below 4 the scan starts inside the header, as the firmware wrote it.
    const std::size_t formattedLength = structure[1];
    if (formattedLength >= available) return {available, false};
    const std::uint8_t* scan = structure + formattedLength;
    for (;;) {
        const void* nul = std::memchr(scan, 0, static_cast<std::size_t>(end - scan));
        if (nul == nullptr) return {available, false};
        scan = static_cast<const std::uint8_t*>(nul);
        if (scan + 1 >= end) return {available, false};
        if (scan[1] == 0) return {static_cast<std::size_t>(scan + 2 - structure), true};
        // scan[1] is not NUL, so no pair starts there either.
        scan += 2;
        if (scan >= end) return {available, false};
    }
}

}  // namespace smbios
