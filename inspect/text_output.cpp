#include "inspect/text_output.h"

#include <iomanip>
#include <sstream>

#include "smbios/smbios_exceptions.h"

namespace hwinspect {

std::string printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '.';
    }
    return shown;
}

std::string hexNumber(unsigned value, int width) {
    std::ostringstream text;
    text << "0x" << std::hex << std::setw(width) << std::setfill('0') << value;
    return text.str();
}

std::string hexRows(const std::vector<std::uint8_t>& bytes, const std::string& indent) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string rows;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        rows += i % 16 == 0 ? (i == 0 ? indent : "\n" + indent) : " ";
        rows += kHex[bytes[i] >> 4];
        rows += kHex[bytes[i] & 0xF];
    }
    return rows;
}

std::string hexRun(const std::vector<std::uint8_t>& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string run;
    for (const std::uint8_t byte : bytes) {
        run += kHex[byte >> 4];
        run += kHex[byte & 0xF];
    }
    return run;
}

std::vector<std::uint8_t> formattedBytes(const smbios::ISmbiosItem& item) {
    std::vector<std::uint8_t> bytes(item.length());
    if (bytes.empty()) return bytes;
    item.readData(0, bytes.data(), bytes.size());
    return bytes;
}

std::vector<std::string> itemStrings(const smbios::ISmbiosItem& item) {
    std::vector<std::string> strings;
    for (unsigned number = 1; number <= 0xFF; ++number) {
        const char* text = nullptr;
        try {
            text = item.stringAt(static_cast<std::uint8_t>(number));
        } catch (const smbios::SmbiosException&) {
            break;  // past the last string
        }
        // String 1 of a structure without strings is the empty text at the
        // double NUL; no string of a set can be empty otherwise.
        if (number == 1 && *text == '\0') break;
        strings.emplace_back(text);
    }
    return strings;
}

}  // namespace hwinspect
