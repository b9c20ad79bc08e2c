#ifndef VELMORA_INSPECT_JSON_WRITER_H
#define VELMORA_INSPECT_JSON_WRITER_H

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace hwinspect {

// Writes one JSON document, indented, to a stream. The caller opens and
// closes objects and arrays in order; the writer places commas and quotes.
// Texts are the firmware's 8-bit bytes, not UTF-8: every byte from 0x80 up is
// written as the code point of the same number (\u0080 to \u00ff), so the
// output is plain ASCII and always valid JSON.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& stream);

    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    // The key of the next value inside an object.
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text);
    JsonWriter& number(std::int64_t value);
    JsonWriter& boolean(bool value);
    // A key and a number for each pair, in order.
    JsonWriter& numbers(std::initializer_list<std::pair<const char*, std::int64_t>> fields);
    // Ends the document with a line end.
    void finish();

private:
    void beforeValue();
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void newLine();

    std::ostream& out_;
    // Per open object or array: whether it holds no element yet.
    std::vector<bool> empty_;
    bool afterKey_ = false;
};

// `text` as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

}  // namespace hwinspect

#endif
