#include "inspect/write_commands.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "cmos/cmos_rw_factory.h"
#include "inspect/cmos_access.h"
#include "inspect/cmos_commands.h"
#include "inspect/inspect_error.h"
#include "inspect/text_output.h"
#include "inspect/token_commands.h"
#include "smbios/error_description.h"
#include "smbios/cmos_exceptions.h"
#include "smbios/cmos_tokens.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/token.h"

namespace hwinspect {

namespace {

// A saved image is at most one page per index port value.
constexpr std::size_t kLargestImage = std::size_t{0x10000} * 256;

std::string place(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) {
    return "index port " + hexNumber(indexPort, 2) + ", data port " + hexNumber(dataPort, 2) + ", offset " +
           hexNumber(offset, 2);
}

std::string describe(const CmosChange& change) {
    return place(change.indexPort, change.dataPort, change.offset) + ": " + hexNumber(change.before, 2) + " -> " +
           hexNumber(change.after, 2);
}

InspectCmosFactory* inspectFactory() { return dynamic_cast<InspectCmosFactory*>(cmos::CmosRWFactory::getFactory()); }

// The accessor every write of a command goes through (created on first use).
InspectCmos& inspectCmos() {
    auto* cmos = dynamic_cast<InspectCmos*>(cmos::CmosRWFactory::getFactory()->getSingleton());
    if (cmos == nullptr) throw InspectError("The CMOS accessor is not hwinspect's own.");
    return *cmos;
}

bool dryRun() {
    InspectCmosFactory* factory = inspectFactory();
    return factory != nullptr && factory->getParameterNum("dryRun") != 0;
}

// Runs the writes of a command. On a failure every byte written so far is put
// back before the error goes on, with what became of CMOS added to it; on
// success every changed byte is listed.
void runWrite(std::ostream& out, const std::function<void()>& writes) {
    try {
        writes();
    } catch (const std::exception& error) {
        std::string reason = smbios::summary(error);
        InspectCmosFactory* factory = inspectFactory();
        InspectCmos* cmos = factory != nullptr ? factory->made() : nullptr;
        const std::vector<CmosChange> changed = cmos != nullptr ? cmos->changes() : std::vector<CmosChange>();
        const std::vector<CmosChange> left = cmos != nullptr ? cmos->undo() : std::vector<CmosChange>();
        if (!left.empty()) {
            reason += "\nThese CMOS bytes could not be put back and keep their new value:";
            for (const CmosChange& change : left) reason += "\n  " + describe(change);
        } else if (!changed.empty() && !dryRun()) {
            reason += "\nThe CMOS bytes written before the failure were put back: CMOS is as it was.";
        } else if (dynamic_cast<const cmos::CmosWriteRefused*>(&error) == nullptr) {
            reason += "\nNo CMOS byte was changed.";  // a refusal says so itself
        }
        throw InspectError(reason);
    }
    InspectCmosFactory* factory = inspectFactory();
    InspectCmos* cmos = factory != nullptr ? factory->made() : nullptr;
    const bool dry = dryRun();
    const std::vector<CmosChange> changed = cmos != nullptr ? cmos->changes() : std::vector<CmosChange>();
    if (changed.empty()) out << (dry ? "Dry run: no CMOS byte would change.\n" : "No CMOS byte changed.\n");
    for (const CmosChange& change : changed) out << (dry ? "would change: " : "changed: ") << describe(change) << "\n";
}

std::vector<smbios::IToken*> tokensWithId(std::uint16_t id) {
    smbios::ITokenTable& table = sharedTokenTable();
    std::vector<smbios::IToken*> tokens;
    for (auto it = table[id]; it != table.end(); ++it) tokens.push_back(&*it);
    if (tokens.empty()) throw InspectError("No token with id " + hexNumber(id, 4) + " in the table.");
    return tokens;
}

// Refuses, before anything is written, what the token cannot do.
void checkChange(const smbios::IToken& token, TokenChange change, const std::string& text) {
    const std::string name = "The token " + hexNumber(token.getType(), 4);
    const bool callingInterface = dynamic_cast<const smbios::ISmiToken*>(&token) != nullptr;
    if (callingInterface && dryRun()) {
        throw InspectError(name +
                           " is changed through the firmware's calling interface, whose effect a dry run "
                           "cannot show.");
    }
    switch (change) {
    case TokenChange::Activate:
        if (!token.isBool()) throw InspectError(name + " is a string token: \"token ID set TEXT\" changes it.");
        break;
    case TokenChange::Deactivate:
        if (callingInterface) {
            throw InspectError(name +
                               " is changed through the calling interface, which has no deactivation: "
                               "activate the token of the setting wanted.");
        }
        if (dynamic_cast<const smbios::CmosTokenD4*>(&token) == nullptr || !token.isBool()) {
            throw InspectError(name + " is a string token: \"token ID set TEXT\" changes it.");
        }
        break;
    case TokenChange::Set: {
        if (!token.isString()) throw InspectError(name + " is a bit token: activate or deactivate it.");
        const unsigned length = token.getStringLength();
        if (text.size() > length) {
            throw InspectError(name + " holds " + std::to_string(length) + " byte(s); the text has " +
                               std::to_string(text.size()) + ". Nothing was written.");
        }
        break;
    }
    }
}

void applyChange(std::ostream& out, const smbios::IToken& token, TokenChange change, const std::string& text) {
    switch (change) {
    case TokenChange::Activate:
        token.activate();
        break;
    case TokenChange::Deactivate:
        dynamic_cast<const smbios::CmosTokenD4&>(token).deactivate();
        break;
    case TokenChange::Set:
        token.setString(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        break;
    }
    if (dynamic_cast<const smbios::ISmiToken*>(&token) != nullptr) {
        out << "The firmware's calling interface took the change of token " << hexNumber(token.getType(), 4) << ".\n";
    }
}

struct CmosPlace {
    std::uint16_t indexPort;
    std::uint16_t dataPort;
    std::uint8_t offset;
};

// Every CMOS byte the token structures use: the bytes of the tokens, the
// ranges and locations of the declared checksums. In port and offset order,
// each once, the clock registers left out.
std::vector<CmosPlace> usedCmosBytes(smbios::TokenTable& table) {
    std::vector<CmosPlace> places;
    auto add = [&places](unsigned indexPort, unsigned dataPort, unsigned first, unsigned last) {
        for (unsigned offset = first; offset <= last && offset <= 0xFF; ++offset) {
            if (isClockRegister(indexPort, offset)) continue;
            places.push_back({static_cast<std::uint16_t>(indexPort), static_cast<std::uint16_t>(dataPort),
                              static_cast<std::uint8_t>(offset)});
        }
    };
    const smbios::TokenTable& tokens = table;
    for (auto it = tokens.begin(); it != tokens.end(); ++it) {
        CmosTokenPlace place;
        if (!cmosPlaceOf(*it, place)) continue;
        const unsigned length = it->isString() ? it->getStringLength() : 1;
        add(place.indexPort, place.dataPort, place.location, place.location + length - 1);
    }
    for (const smbios::CmosRWChecksumObserver& observer : table.checksumObservers()) {
        if (observer.declaresNoChecksum()) continue;
        const auto indexPort = static_cast<unsigned>(observer.indexPort());
        const auto dataPort = static_cast<unsigned>(observer.dataPort());
        if (observer.rangeStart() <= observer.rangeEnd()) {
            add(indexPort, dataPort, static_cast<unsigned>(observer.rangeStart()),
                static_cast<unsigned>(observer.rangeEnd()));
        }
        const unsigned width = observer.checksumType() == smbios::CmosRWChecksumObserver::ByteChecksum ? 1 : 2;
        const auto location = static_cast<unsigned>(observer.checksumLocation());
        add(indexPort, dataPort, location, location + width - 1);
    }
    std::sort(places.begin(), places.end(), [](const CmosPlace& a, const CmosPlace& b) {
        return a.indexPort != b.indexPort ? a.indexPort < b.indexPort : a.offset < b.offset;
    });
    places.erase(std::unique(places.begin(), places.end(),
                             [](const CmosPlace& a, const CmosPlace& b) {
                                 return a.indexPort == b.indexPort && a.offset == b.offset;
                             }),
                 places.end());
    return places;
}

std::size_t imagePosition(const CmosPlace& at) { return std::size_t{at.indexPort} * 256 + at.offset; }

std::vector<std::uint8_t> readImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw InspectError("Could not read " + path + ".");
    std::vector<std::uint8_t> bytes;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + file.gcount());
        if (bytes.size() > kLargestImage) throw InspectError(path + " is larger than any CMOS image.");
    }
    if (file.bad()) throw InspectError("Could not read " + path + ".");
    return bytes;
}

}  // namespace

void changeToken(std::ostream& out, std::uint16_t id, TokenChange change, const std::string& text) {
    const std::vector<smbios::IToken*> tokens = tokensWithId(id);
    for (const smbios::IToken* token : tokens) checkChange(*token, change, text);
    runWrite(out, [&]() {
        for (const smbios::IToken* token : tokens) applyChange(out, *token, change, text);
    });
}

void saveCmos(std::ostream& out, const std::string& path) {
    const std::vector<CmosPlace> places = usedCmosBytes(libraryTokenTable());
    if (places.empty()) throw InspectError("The token structures use no CMOS byte: nothing to save.");
    std::vector<std::uint8_t> image((std::size_t{places.back().indexPort} + 1) * 256, 0xFF);
    cmos::ICmosRW& cmos = inspectCmos();
    for (const CmosPlace& at : places) image[imagePosition(at)] = cmos.readByte(at.indexPort, at.dataPort, at.offset);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    file.close();
    if (!file) throw InspectError("Could not write " + path + ".");
    out << "Saved " << places.size() << " CMOS byte(s) to " << path << ".\n";
}

void restoreCmos(std::ostream& out, const std::string& path) {
    const std::vector<std::uint8_t> image = readImage(path);
    smbios::TokenTable& table = libraryTokenTable();
    const std::vector<CmosPlace> places = usedCmosBytes(table);
    for (const CmosPlace& at : places) {
        if (imagePosition(at) >= image.size()) {
            throw InspectError(path + " holds no byte for " + place(at.indexPort, at.dataPort, at.offset) +
                               ": it was not saved from this table. Nothing was written.");
        }
    }
    InspectCmos& cmos = inspectCmos();
    std::vector<CmosPlace> differing;
    for (const CmosPlace& at : places) {
        if (cmos.readByte(at.indexPort, at.dataPort, at.offset) != image[imagePosition(at)]) differing.push_back(at);
    }
    // Every byte is put to the checksums first: a refused one stops the
    // restore before anything is written.
    for (const CmosPlace& at : differing) {
        try {
            cmos.checkWrite(at.indexPort, at.offset, 1);
        } catch (const std::exception& error) {
            throw InspectError(smbios::summary(error) + "\nNo CMOS byte was changed.");
        }
    }
    runWrite(out, [&]() {
        // All bytes first, the observers told once at the end: a saved image
        // is consistent as a whole, not byte by byte.
        {
            const cmos::SuppressionScope quiet(&cmos);
            for (const CmosPlace& at : differing) {
                cmos.writeByte(at.indexPort, at.dataPort, at.offset, image[imagePosition(at)]);
            }
        }
        cmos.notify(nullptr);
    });
    if (cmos.dryRun()) return;
    int different = 0;
    for (const CmosPlace& at : places) {
        const std::uint8_t now = cmos.readByte(at.indexPort, at.dataPort, at.offset);
        if (now == image[imagePosition(at)]) continue;
        out << "differs from " << path << ": " << place(at.indexPort, at.dataPort, at.offset) << ": saved "
            << hexNumber(image[imagePosition(at)], 2) << ", now " << hexNumber(now, 2) << "\n";
        ++different;
    }
    verifyCmos(out, false);
    if (different > 0) {
        throw InspectError(std::to_string(different) + " CMOS byte(s) differ from " + path +
                           " after the restore (a checksum the saved bytes did not match was repaired).");
    }
    out << "Every saved byte reads back as saved.\n";
}

void repairCmos(std::ostream& out) {
    smbios::TokenTable& table = libraryTokenTable();
    std::vector<smbios::CmosRWChecksumObserver*> repairable;
    std::vector<const smbios::CmosRWChecksumObserver*> refused;
    for (smbios::CmosRWChecksumObserver& observer : table.checksumObservers()) {
        if (observer.declaresNoChecksum()) continue;
        if (observer.maintainable()) {
            repairable.push_back(&observer);
        } else {
            refused.push_back(&observer);
        }
    }
    if (repairable.empty() && refused.empty()) {
        out << "The token structures declare no CMOS checksum.\n";
        return;
    }
    if (!repairable.empty()) {
        InspectCmos& cmos = inspectCmos();
        runWrite(out, [&]() {
            const bool repair = true;
            for (smbios::CmosRWChecksumObserver* observer : repairable) observer->update(&cmos, &repair);
        });
    }
    for (const smbios::CmosRWChecksumObserver* observer : refused) {
        out << "not written: index port " << hexNumber(static_cast<unsigned>(observer->indexPort()), 2) << ", bytes "
            << hexNumber(static_cast<unsigned>(observer->rangeStart()), 2) << "-"
            << hexNumber(static_cast<unsigned>(observer->rangeEnd()), 2) << " at "
            << hexNumber(static_cast<unsigned>(observer->checksumLocation()), 2)
            << ": cannot be maintained: " << observer->refusal() << "\n";
    }
    if (!refused.empty()) {
        throw InspectError(std::to_string(refused.size()) +
                           " CMOS checksum(s) cannot be maintained and were not "
                           "written.");
    }
}

}  // namespace hwinspect
