#include "inspect/cmos_commands.h"

#include <iomanip>
#include <string>
#include <utility>
#include <vector>

#include "cmos/checksum_types.h"
#include "cmos/cmos_rw_factory.h"
#include "inspect/cmos_access.h"
#include "inspect/inspect_error.h"
#include "inspect/json_writer.h"
#include "inspect/text_output.h"
#include "inspect/token_commands.h"
#include "smbios/error_description.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/token_table.h"

namespace hwinspect {

namespace {

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
        CmosTokenPlace place;
        if (cmosPlaceOf(*it, place)) add(place.indexPort, place.dataPort);
    }
    return ports;
}

const char* checksumTypeName(int type) {
    const smbios::ChecksumKind* kind = smbios::checksumKind(type);
    return kind != nullptr ? kind->name : "unknown";
}

}  // namespace

namespace {

// Each line of a library message printed as it is, bytes that would not
// print shown as '.'.
std::string printableLines(const std::string& text) {
    std::string shown;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string::npos) to = text.size();
        shown += printable(text.substr(from, to - from));
        if (to < text.size()) shown += '\n';
        from = to + 1;
    }
    while (!shown.empty() && shown.back() == '\n') shown.pop_back();
    return shown;
}

}  // namespace

void verifyCmos(std::ostream& out, bool json) {
    std::vector<smbios::CmosRWChecksumObserver>& observers = libraryTokenTable().checksumObservers();
    // Reached only when there is a checksum to verify: a table without one
    // needs no CMOS at all.
    observer::IObservable* accessor = nullptr;
    bool needsCmos = false;
    for (const smbios::CmosRWChecksumObserver& observer : observers) {
        needsCmos = needsCmos || observer.maintainable();
    }
    if (needsCmos) {
        accessor = dynamic_cast<observer::IObservable*>(cmos::CmosRWFactory::getFactory()->getSingleton());
    }
    const bool verifyOnly = false;  // the observers' parameter: false verifies, never repairs
    JsonWriter writer(out);
    if (json) writer.beginObject().key("checksums").beginArray();
    int mismatches = 0;
    int unreadable = 0;
    int unmaintainable = 0;
    for (smbios::CmosRWChecksumObserver& observer : observers) {
        // "MISMATCH" for a checksum that does not match the bytes, "UNREADABLE"
        // when the bytes or the stored checksum could not be read.
        std::string verdict = "ok";
        std::string error;
        if (observer.declaresNoChecksum()) {
            verdict = "no checksum declared";
        } else if (!observer.maintainable()) {
            verdict = "cannot be maintained: " + observer.refusal();
            ++unmaintainable;
        } else {
            try {
                observer.update(accessor, &verifyOnly);
            } catch (const smbios::InvalidChecksum& failure) {
                verdict = "MISMATCH";
                error = smbios::summary(failure);
                ++mismatches;
            } catch (const std::exception& failure) {
                verdict = "UNREADABLE";
                error = smbios::summary(failure);
                ++unreadable;
            }
        }
        if (json) {
            writer.beginObject();
            writer.numbers({{"indexPort", observer.indexPort()},
                            {"dataPort", observer.dataPort()},
                            {"checksumType", observer.checksumType()},
                            {"start", observer.rangeStart()},
                            {"end", observer.rangeEnd()},
                            {"checksumLocation", observer.checksumLocation()}});
            writer.key("ok").boolean(error.empty() && observer.refusal().empty());
            if (observer.declaresNoChecksum()) {
                writer.key("result").value("no checksum declared");
            } else if (!observer.maintainable()) {
                writer.key("result").value("cannot be maintained");
                writer.key("reason").value(observer.refusal());
            } else {
                writer.key("result").value(verdict);
            }
            if (!error.empty()) writer.key("error").value(error);
            writer.endObject();
            continue;
        }
        out << "Index port " << hexNumber(static_cast<unsigned>(observer.indexPort()), 2) << ", ";
        if (!observer.declaresNoChecksum()) {
            out << "bytes " << hexNumber(static_cast<unsigned>(observer.rangeStart()), 2) << "-"
                << hexNumber(static_cast<unsigned>(observer.rangeEnd()), 2) << ", "
                << checksumTypeName(observer.checksumType()) << " at "
                << hexNumber(static_cast<unsigned>(observer.checksumLocation()), 2) << ": ";
        }
        out << verdict << "\n";
        if (!error.empty()) out << printableLines(error) << "\n";
    }
    if (json) {
        writer.endArray().endObject();
        writer.finish();
    } else if (observers.empty()) {
        out << "The token structures declare no CMOS checksum.\n";
    }
    std::string failures;
    if (mismatches > 0) failures += std::to_string(mismatches) + " CMOS checksum(s) do not match.";
    if (unmaintainable > 0) {
        failures += (failures.empty() ? "" : " ") + std::to_string(unmaintainable) +
                    " CMOS checksum(s) cannot be maintained.";
    }
    if (unreadable > 0) {
        failures += (failures.empty() ? "" : " ") + std::to_string(unreadable) + " CMOS checksum(s) could not be read.";
    }
    if (!failures.empty()) throw InspectError(failures);
}

void dumpCmos(std::ostream& out, bool clockRegisters) {
    const auto ports = cmosPorts(libraryTokenTable());
    if (ports.empty()) {
        out << "The token structures name no CMOS ports.\n";
        return;
    }
    cmos::ICmosRW* accessor = cmos::CmosRWFactory::getFactory()->getSingleton();
    for (const auto& [indexPort, dataPort] : ports) {
        out << "Index port " << hexNumber(indexPort, 2) << ", data port " << hexNumber(dataPort, 2) << ":\n";
        bool allUnpopulated = true;
        for (unsigned row = 0; row < 16; ++row) {
            out << std::hex << std::setw(2) << std::setfill('0') << row * 16 << std::dec << ":";
            for (unsigned offset = row * 16; offset < row * 16 + 16; ++offset) {
                if (!clockRegisters && isClockRegister(indexPort, offset)) {
                    out << " --";
                    continue;
                }
                const std::uint8_t byte = accessor->readByte(indexPort, dataPort, offset);
                allUnpopulated = allUnpopulated && byte == 0xFF;
                out << " " << hexRows({byte}, "");
            }
            out << "\n";
        }
        if (allUnpopulated) {
            out << "Every byte reads 0xff: no CMOS answers behind these ports (an absent bank reads so), and "
                   "nothing written there is kept.\n";
        }
    }
}

}  // namespace hwinspect
