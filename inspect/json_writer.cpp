#include "inspect/json_writer.h"

namespace hwinspect {

std::string jsonString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                quoted += "\\u00";
                quoted += kHex[byte >> 4];
                quoted += kHex[byte & 0xF];
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

JsonWriter::JsonWriter(std::ostream& stream) : out_(stream) {}

void JsonWriter::newLine() { out_ << '\n' << std::string(2 * empty_.size(), ' '); }

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (empty_.empty()) return;
    if (!empty_.back()) out_ << ',';
    empty_.back() = false;
    newLine();
}

JsonWriter& JsonWriter::open(char bracket) {
    beforeValue();
    out_ << bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty) newLine();
    out_ << bracket;
    return *this;
}

JsonWriter& JsonWriter::numbers(std::initializer_list<std::pair<const char*, std::int64_t>> fields) {
    for (const auto& field : fields) key(field.first).number(field.second);
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    beforeValue();
    out_ << jsonString(name) << ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    beforeValue();
    out_ << jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(const char* text) { return value(std::string(text)); }

JsonWriter& JsonWriter::number(std::int64_t value) {
    beforeValue();
    out_ << value;
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    beforeValue();
    out_ << (value ? "true" : "false");
    return *this;
}

void JsonWriter::finish() { out_ << '\n'; }

}  // namespace hwinspect
