#include "inspect/string_keywords.h"

namespace hwinspect {

const std::vector<StringKeyword>& stringKeywords() {
    static const std::vector<StringKeyword> keywords = {
        {"bios-vendor", 0, 0x04},
        {"bios-version", 0, 0x05},
        {"bios-release-date", 0, 0x08},
        {"system-manufacturer", 1, 0x04},
        {"system-product-name", 1, 0x05},
        {"system-version", 1, 0x06},
        {"system-serial-number", 1, 0x07},
        {"system-sku-number", 1, 0x19},
        {"system-family", 1, 0x1A},
        {"baseboard-manufacturer", 2, 0x04},
        {"baseboard-product-name", 2, 0x05},
        {"baseboard-version", 2, 0x06},
        {"baseboard-serial-number", 2, 0x07},
        {"baseboard-asset-tag", 2, 0x08},
        {"chassis-manufacturer", 3, 0x04},
        {"chassis-version", 3, 0x06},
        {"chassis-serial-number", 3, 0x07},
        {"chassis-asset-tag", 3, 0x08},
        {"processor-manufacturer", 4, 0x07},
        {"processor-version", 4, 0x10},
    };
    return keywords;
}

const StringKeyword* findStringKeyword(const std::string& name) {
    for (const StringKeyword& keyword : stringKeywords()) {
        if (name == keyword.name) return &keyword;
    }
    return nullptr;
}

}  // namespace hwinspect
