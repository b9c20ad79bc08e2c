#include "inspect/token_commands.h"

#include <sstream>
#include <string>
#include <vector>

#include "inspect/inspect_error.h"
#include "inspect/json_writer.h"
#include "inspect/text_output.h"
#include "smbios/error_description.h"
#include "smbios/token.h"
#include "smbios/token_table.h"
#include "smbios/token_table_factory.h"

namespace hwinspect {

smbios::ITokenTable& sharedTokenTable() {
    smbios::ITokenTable* table = smbios::TokenTableFactory::getFactory()->getSingleton(nullptr);
    if (table == nullptr) throw InspectError("No token table.");
    return *table;
}

smbios::TokenTable& libraryTokenTable() {
    auto* table = dynamic_cast<smbios::TokenTable*>(&sharedTokenTable());
    if (table == nullptr) throw InspectError("The token table is not the library's own.");
    return *table;
}

namespace {

// A token's printed form, or what of it was printed and why it stopped.
struct PrintedToken {
    std::string text;
    bool failed = false;
    std::string error;
};

PrintedToken printToken(const smbios::IToken& token) {
    std::ostringstream line;
    line.fill('0');
    PrintedToken printed;
    try {
        token.streamify(line);
    } catch (const std::exception& error) {
        printed.failed = true;
        printed.error = smbios::summary(error);
    }
    printed.text = line.str();
    return printed;
}

// What a token holds, read through its own operations.
struct TokenValue {
    bool readable = true;
    std::string error;
    bool active = false;
    std::vector<std::uint8_t> bytes;  // the string's raw bytes
    std::string string;               // up to the first zero byte
};

TokenValue readValue(const smbios::IToken& token) {
    TokenValue value;
    try {
        if (token.isBool()) value.active = token.isActive();
        if (token.isString()) {
            const unsigned length = token.getStringLength();
            std::vector<std::uint8_t> buffer(length + 1u, 0);
            value.string = token.getString(buffer.data(), length + 1u);
            value.bytes.assign(buffer.begin(), buffer.begin() + length);
        }
    } catch (const std::exception& error) {
        value.readable = false;
        value.error = smbios::summary(error);
    }
    return value;
}

// Writes one token; false when its value could not be read.
bool writeTokenJson(JsonWriter& json, const smbios::IToken& token) {
    const smbios::ISmbiosItem& item = token.getItemRef();
    json.beginObject();
    json.key("id").number(token.getType());
    json.key("class").value(token.getTokenClass());
    json.key("structureType").number(item.type());
    json.key("handle").number(item.handle());
    json.key("isBool").boolean(token.isBool());
    json.key("isString").boolean(token.isString());
    CmosTokenPlace place;
    if (cmosPlaceOf(token, place)) {
        json.numbers({{"indexPort", place.indexPort}, {"dataPort", place.dataPort}, {"location", place.location}});
    }
    if (const auto* smiToken = dynamic_cast<const smbios::ISmiToken*>(&token)) {
        std::uint16_t commandAddress = 0;
        std::uint8_t commandCode = 0;
        std::uint8_t location = 0;
        smiToken->getSmiDetails(&commandAddress, &commandCode, &location);
        json.numbers({{"commandAddress", commandAddress}, {"commandCode", commandCode}, {"location", location}});
    }
    // Calling-interface tokens are listed by their entries, as their printed
    // form is: reading their values raises SMIs, which "token ID" does.
    if (dynamic_cast<const smbios::ISmiToken*>(&token) != nullptr) {
        json.endObject();
        return true;
    }
    const TokenValue value = readValue(token);
    if (!value.readable) {
        json.key("error").value(value.error);
    } else {
        if (token.isBool()) json.key("active").boolean(value.active);
        if (token.isString()) {
            json.key("string").value(value.string);
            json.key("stringBytes").value(hexRun(value.bytes));
        }
    }
    json.endObject();
    return value.readable;
}

}  // namespace

bool cmosPlaceOf(const smbios::IToken& token, CmosTokenPlace& place) {
    const auto* cmosToken = dynamic_cast<const smbios::ICmosToken*>(&token);
    if (cmosToken == nullptr) return false;
    try {
        cmosToken->getCMOSDetails(&place.indexPort, &place.dataPort, &place.location);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void showTokens(std::ostream& out, bool json) {
    const smbios::ITokenTable& table = sharedTokenTable();
    int unreadable = 0;
    if (json) {
        JsonWriter writer(out);
        writer.beginObject();
        writer.key("tokens").beginArray();
        for (auto it = table.begin(); it != table.end(); ++it) {
            if (!writeTokenJson(writer, *it)) ++unreadable;
        }
        writer.endArray();
        writer.endObject();
        writer.finish();
    } else {
        table.streamify(out);
        out << "\n";
        for (auto it = table.begin(); it != table.end(); ++it) {
            const PrintedToken printed = printToken(*it);
            out << printable(printed.text);
            if (printed.failed) {
                out << (printed.text.empty() ? "" : " ") << "(unreadable: " << printable(printed.error) << ")";
                ++unreadable;
            }
            out << "\n";
        }
    }
    if (unreadable > 0) throw InspectError(std::to_string(unreadable) + " token(s) could not be read.");
}

void showToken(std::ostream& out, std::uint16_t id) {
    const smbios::ITokenTable& table = sharedTokenTable();
    int found = 0;
    bool failed = false;
    for (auto it = table[id]; it != table.end(); ++it) {
        const smbios::IToken& token = *it;
        ++found;
        const PrintedToken printed = printToken(token);
        out << printable(printed.text);
        if (printed.failed) out << (printed.text.empty() ? "" : " ") << "(" << printable(printed.error) << ")";
        out << "\n";
        out << "\tclass: " << token.getTokenClass() << "\n";
        out << "\tkind: "
            << (token.isBool() && token.isString() ? "bit and string"
                : token.isBool()                   ? "bit"
                                                   : "string")
            << "\n";
        const TokenValue value = readValue(token);
        if (!value.readable) {
            out << "\tvalue: unreadable: " << printable(value.error) << "\n";
            failed = true;
            continue;
        }
        if (token.isBool()) out << "\tactive: " << (value.active ? "yes" : "no") << "\n";
        if (token.isString()) {
            out << "\tlength: " << value.bytes.size() << "\n";
            out << "\tstring: [" << printable(value.string) << "]\n";
            out << "\tbytes: " << hexRows(value.bytes, "") << "\n";
        }
    }
    if (found == 0) throw InspectError("No token with id " + hexNumber(id, 4) + " in the table.");
    if (failed) throw InspectError("The token " + hexNumber(id, 4) + " could not be read.");
}

}  // namespace hwinspect
