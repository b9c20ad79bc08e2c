#include "smbios/system_info.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_factory.h"

namespace smbios {

void removeTrailingBlanks(char* text) {
    if (text == nullptr) return;
    for (std::size_t length = std::strlen(text); length > 0 && text[length - 1] == ' '; --length)
        text[length - 1] = '\0';
}

char* getStructureString(int type, unsigned offset) {
    ISmbiosTable* table = SmbiosFactory::getFactory()->getSingleton();
    if (table == nullptr) throw InternalErrorImpl();

    const ISmbiosItem& item = *table->itemsOfType(type);
    std::uint8_t number = 0;
    item.readData(offset, &number, sizeof number);
    const char* text = item.stringAt(number);

    const std::size_t length = std::strlen(text);
    std::unique_ptr<char[]> copy(new char[length + 1]);
    std::memcpy(copy.get(), text, length + 1);
    removeTrailingBlanks(copy.get());
    if (copy[0] == '\0') throw std::exception();
    return copy.release();
}

char* getManufacturerName() {
    char* name = nullptr;
    try {
        name = getStructureString(1, 4);
    } catch (...) {
        // The collector only needs to know that there is no name.
        return nullptr;
    }
    removeTrailingBlanks(name);
    return name;
}

}  // namespace smbios
