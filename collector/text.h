#ifndef VELMORA_COLLECTOR_TEXT_H
#define VELMORA_COLLECTOR_TEXT_H

// Texts handed between collector steps and across the library boundary are
// array allocations of exactly their length plus one byte; the receiver owns
// them and releases them with delete[].

namespace collector {

// A new copy of `text` (an empty text for null).
char* newText(const char* text);

// A new copy of `text` when it is non-null and non-empty, else null: how a
// step's text becomes a field of the PMInfo record.
char* copyIntoRecord(const char* text);

// True for null and for "".
inline bool isEmptyText(const char* text) { return text == nullptr || text[0] == '\0'; }

// Releases *slot (if any) and stores `text` there.
void replaceText(char** slot, char* text);

// A slot a step puts its text into; the text is released with the slot.
class TextSlot {
public:
    TextSlot() = default;
    ~TextSlot() { replaceText(&text_, nullptr); }
    TextSlot(const TextSlot&) = delete;
    TextSlot& operator=(const TextSlot&) = delete;

    char** slot() { return &text_; }
    const char* get() const { return text_; }

private:
    char* text_ = nullptr;
};

}  // namespace collector

#endif
