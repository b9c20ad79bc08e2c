#include "collector/text.h"

#include <cstring>

namespace collector {

char* newText(const char* text) {
    if (text == nullptr) text = "";
    const size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

char* copyIntoRecord(const char* text) { return isEmptyText(text) ? nullptr : newText(text); }

void replaceText(char** slot, char* text) {
    delete[] * slot;
    *slot = text;
}

}  // namespace collector
