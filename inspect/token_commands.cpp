#include "inspect/token_commands.h"

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "cmos/cmos_rw_factory.h"
#include "inspect/inspect_error.h"
#include "inspect/json_writer.h"
#include "inspect/text_output.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/token.h"
#include "smbios/token_table.h"
#include "smbios/token_table_factory.h"

namespace hwinspect {

namespace {

smbios::ITokenTable& sharedTokenTable() {
    smbios::ITokenTable* table = smbios::TokenTableFactory::getFactory()->getSingleton(nullptr);
    if (table == nullptr) throw InspectError("No token table.");
    return *table;
}

// The library's own table class: its checksum observers are what "cmos"
// reads.
smbios::TokenTable& concreteTokenTable() {
    auto* table = dynamic_cast<smbios::TokenTable*>(&sharedTokenTable());
    if (table == nullptr) throw InspectError("The token table is not the library's own.");
    return *table;
}

std::string hex(unsigned value, int width) {
    std::ostringstream text;
    text << "0x" << std::hex << std::setw(width) << std::setfill('0') << value;
    return text.str();
}

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
        printed.error = reasonOf(error);
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
        value.error = reasonOf(error);
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
    if (const auto* cmosToken = dynamic_cast<const smbios::ICmosToken*>(&token)) {
        std::uint16_t indexPort = 0;
        std::uint16_t dataPort = 0;
        std::uint8_t location = 0;
        try {
            cmosToken->getCMOSDetails(&indexPort, &dataPort, &location);
            json.key("indexPort").number(indexPort);
            json.key("dataPort").number(dataPort);
            json.key("location").number(location);
        } catch (const std::exception&) {
            // An encoded token keeps even its place to itself; its value says why.
        }
    }
    if (const auto* smiToken = dynamic_cast<const smbios::ISmiToken*>(&token)) {
        std::uint16_t commandAddress = 0;
        std::uint8_t commandCode = 0;
        std::uint8_t location = 0;
        smiToken->getSmiDetails(&commandAddress, &commandCode, &location);
        json.key("commandAddress").number(commandAddress);
        json.key("commandCode").number(commandCode);
        json.key("location").number(location);
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

// The index/data port pairs the token structures name, each once, in order.
std::vector<std::pair<std::uint16_t, std::uint16_t>> cmosPorts(smbios::TokenTable& table) {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> ports;
    auto add = [&ports](std::uint16_t indexPort, std::uint16_t dataPort) {
        for (const auto& known : ports) {
            if (known.first == indexPort && known.second == dataPort) return;
        }
        ports.emplace_back(indexPort, dataPort);
    };
    for (const smbios::CmosRWChecksumObserver& observer : table.checksumObservers()) {
        add(static_cast<std::uint16_t>(observer.indexPort()), static_cast<std::uint16_t>(observer.dataPort()));
    }
    const smbios::TokenTable& tokens = table;
    for (auto it = tokens.begin(); it != tokens.end(); ++it) {
        const auto* cmosToken = dynamic_cast<const smbios::ICmosToken*>(&*it);
        if (cmosToken == nullptr) continue;
        std::uint16_t indexPort = 0;
        std::uint16_t dataPort = 0;
        try {
            cmosToken->getCMOSDetails(&indexPort, &dataPort, nullptr);
        } catch (const std::exception&) {
            continue;  // an encoded token
        }
        add(indexPort, dataPort);
    }
    return ports;
}

const char* checksumTypeName(int type) {
    switch (type) {
    case smbios::CmosRWChecksumObserver::WordChecksum: return "Word Checksum";
    case smbios::CmosRWChecksumObserver::ByteChecksum: return "Byte Checksum";
    case smbios::CmosRWChecksumObserver::WordCrc: return "Word CRC";
    case smbios::CmosRWChecksumObserver::OnesComplementWordChecksum: return "One's Complement Word Checksum";
    default: return "unknown";
    }
}

}  // namespace

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
        out << "\tkind: " << (token.isBool() && token.isString() ? "bit and string"
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
    if (found == 0) throw InspectError("No token with id " + hex(id, 4) + " in the table.");
    if (failed) throw InspectError("The token " + hex(id, 4) + " could not be read.");
}

void verifyCmos(std::ostream& out, bool json) {
    std::vector<smbios::CmosRWChecksumObserver>& observers = concreteTokenTable().checksumObservers();
    // Reached only when there is a checksum to verify: a table without one
    // needs no CMOS at all.
    observer::IObservable* accessor = nullptr;
    if (!observers.empty()) {
        accessor = dynamic_cast<observer::IObservable*>(cmos::CmosRWFactory::getFactory()->getSingleton());
    }
    const bool verifyOnly = false;  // the observers' parameter: false verifies, never repairs
    JsonWriter writer(out);
    if (json) writer.beginObject().key("checksums").beginArray();
    int mismatches = 0;
    int unreadable = 0;
    for (smbios::CmosRWChecksumObserver& observer : observers) {
        // "MISMATCH" for a checksum that does not match the bytes, "UNREADABLE"
        // when the bytes or the stored checksum could not be read.
        const char* verdict = "ok";
        std::string error;
        try {
            observer.update(accessor, &verifyOnly);
        } catch (const smbios::InvalidChecksum& failure) {
            verdict = "MISMATCH";
            error = reasonOf(failure);
            ++mismatches;
        } catch (const std::exception& failure) {
            verdict = "UNREADABLE";
            error = reasonOf(failure);
            ++unreadable;
        }
        if (json) {
            writer.beginObject();
            writer.key("indexPort").number(observer.indexPort());
            writer.key("dataPort").number(observer.dataPort());
            writer.key("checksumType").number(observer.checksumType());
            writer.key("start").number(observer.rangeStart());
            writer.key("end").number(observer.rangeEnd());
            writer.key("checksumLocation").number(observer.checksumLocation());
            writer.key("ok").boolean(error.empty());
            writer.key("result").value(verdict);
            if (!error.empty()) writer.key("error").value(error);
            writer.endObject();
            continue;
        }
        out << "Index port " << hex(static_cast<unsigned>(observer.indexPort()), 2) << ", bytes "
            << hex(static_cast<unsigned>(observer.rangeStart()), 2) << "-" << hex(static_cast<unsigned>(observer.rangeEnd()), 2)
            << ", " << checksumTypeName(observer.checksumType()) << " at "
            << hex(static_cast<unsigned>(observer.checksumLocation()), 2) << ": ";
        out << verdict << "\n";
        if (!error.empty()) out << printable(error) << "\n";
    }
    if (json) {
        writer.endArray().endObject();
        writer.finish();
    } else if (observers.empty()) {
        out << "The token structures declare no CMOS checksum.\n";
    }
    if (mismatches > 0) throw InspectError(std::to_string(mismatches) + " CMOS checksum(s) do not match.");
    if (unreadable > 0) throw InspectError(std::to_string(unreadable) + " CMOS checksum(s) could not be read.");
}

void dumpCmos(std::ostream& out) {
    const auto ports = cmosPorts(concreteTokenTable());
    if (ports.empty()) {
        out << "The token structures name no CMOS ports.\n";
        return;
    }
    cmos::ICmosRW* accessor = cmos::CmosRWFactory::getFactory()->getSingleton();
    for (const auto& [indexPort, dataPort] : ports) {
        std::vector<std::uint8_t> bytes(256);
        for (unsigned offset = 0; offset < bytes.size(); ++offset) {
            bytes[offset] = accessor->readByte(indexPort, dataPort, offset);
        }
        out << "Index port " << hex(indexPort, 2) << ", data port " << hex(dataPort, 2) << ":\n";
        for (unsigned row = 0; row < 16; ++row) {
            const std::vector<std::uint8_t> line(bytes.begin() + row * 16, bytes.begin() + row * 16 + 16);
            out << std::hex << std::setw(2) << std::setfill('0') << row * 16 << std::dec << ": " << hexRows(line, "")
                << "\n";
        }
    }
}

}  // namespace hwinspect
