#ifndef VELMORA_INSPECT_STRING_KEYWORDS_H
#define VELMORA_INSPECT_STRING_KEYWORDS_H

#include <string>
#include <vector>

namespace hwinspect {

// A string field by the name scripts already use for it: the structure type
// and the offset of the field holding the string's number.
struct StringKeyword {
    const char* name;
    int type;
    unsigned offset;
};

// The plain string fields among the decoder keywords, in their usual order.
const std::vector<StringKeyword>& stringKeywords();

// The keyword of that name, or null.
const StringKeyword* findStringKeyword(const std::string& name);

}  // namespace hwinspect

#endif
