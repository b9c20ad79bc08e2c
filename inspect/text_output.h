#ifndef VELMORA_INSPECT_TEXT_OUTPUT_H
#define VELMORA_INSPECT_TEXT_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "smbios/smbios_item.h"

namespace hwinspect {

// A firmware string fit for a terminal: control bytes (below 0x20, and 0x7F)
// become '.', as SMBIOS decoders print them; other bytes stay.
std::string printable(const std::string& text);

// "0x" and `value` in lower-case hexadecimal, zero-filled to `width` digits.
std::string hexNumber(unsigned value, int width);

// Bytes as upper-case hexadecimal pairs separated by blanks, 16 per line,
// each line starting with `indent`.
std::string hexRows(const std::vector<std::uint8_t>& bytes, const std::string& indent);

// Bytes as one run of lower-case hexadecimal pairs, for JSON.
std::string hexRun(const std::vector<std::uint8_t>& bytes);

// The formatted area of an item, header included.
std::vector<std::uint8_t> formattedBytes(const smbios::ISmbiosItem& item);

// The strings of an item, numbered from 1, as the item's lookup finds them.
std::vector<std::string> itemStrings(const smbios::ISmbiosItem& item);

}  // namespace hwinspect

#endif
