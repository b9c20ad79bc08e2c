#include "inspect/smbios_commands.h"

#include <cstring>
#include <fstream>
#include <iomanip>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include "inspect/dump_bin.h"
#include "inspect/inspect_error.h"
#include "inspect/json_writer.h"
#include "inspect/sources.h"
#include "inspect/text_output.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/system_info.h"

namespace hwinspect {

namespace {

std::string handleText(std::uint16_t handle) {
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << std::setw(4) << std::setfill('0') << handle;
    return text.str();
}

void writeItemJson(JsonWriter& json, const smbios::ISmbiosItem& item) {
    json.beginObject();
    json.numbers({{"handle", item.handle()}, {"type", item.type()}, {"length", item.length()}});
    json.key("data").value(hexRun(formattedBytes(item)));
    json.key("strings").beginArray();
    for (const std::string& text : itemStrings(item)) json.value(text);
    json.endArray();
    json.endObject();
}

void writeStringLines(std::ostream& out, const smbios::ISmbiosItem& item) {
    const std::vector<std::string> strings = itemStrings(item);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        out << "\tString " << i + 1 << ": [" << printable(strings[i]) << "]\n";
    }
}

}  // namespace

void showTable(std::ostream& out, bool json) {
    const smbios::ISmbiosTable& table = sharedTable();
    smbios::SmbiosEntryPoint entryPoint{};
    table.copyEntryPoint(entryPoint);
    if (json) {
        JsonWriter writer(out);
        writer.beginObject();
        writer.numbers({{"majorVersion", entryPoint.majorVersion},
                        {"minorVersion", entryPoint.minorVersion},
                        {"tableAddress", entryPoint.tableAddress},
                        {"tableLength", entryPoint.tableLength},
                        {"structureCount", table.structureCount()}});
        writer.key("structures").beginArray();
        for (auto it = table.begin(); it != table.end(); ++it) writeItemJson(writer, *it);
        writer.endArray();
        writer.endObject();
        writer.finish();
        return;
    }
    table.print(out);
    out << "Structures and their strings:\n";
    for (auto it = table.begin(); it != table.end(); ++it) {
        out << "Handle " << handleText(it->handle()) << ", DMI type " << static_cast<unsigned>(it->type()) << ", "
            << static_cast<unsigned>(it->length()) << " bytes\n";
        writeStringLines(out, *it);
    }
}

void showItem(std::ostream& out, std::uint16_t handle, bool json) {
    const smbios::ISmbiosTable& table = sharedTable();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->handle() != handle) continue;
        if (json) {
            JsonWriter writer(out);
            writeItemJson(writer, *it);
            writer.finish();
            return;
        }
        it->print(out);
        out << "\tHeader and Data:\n" << hexRows(formattedBytes(*it), "\t\t") << "\n";
        out << "\tStrings:\n";
        const std::vector<std::string> strings = itemStrings(*it);
        for (std::size_t i = 0; i < strings.size(); ++i) {
            out << "\t\t" << i + 1 << ": [" << printable(strings[i]) << "]\n";
        }
        return;
    }
    throw InspectError("No structure with handle " + handleText(handle) + " in the table.");
}

void showStructureString(std::ostream& out, int type, unsigned offset) {
    // The library's query would meet the end of the walk and call it a
    // programming error; an absent type is a plain answer.
    const smbios::ISmbiosTable& table = sharedTable();
    if (table.itemsOfType(type) == table.end()) {
        throw InspectError("No structure of type " + std::to_string(type) + " in the table.");
    }
    std::unique_ptr<char[]> text;
    try {
        text.reset(smbios::getStructureString(type, offset));
    } catch (const smbios::IException&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // The query's one error without a message: nothing but blanks, or nothing.
        throw InspectError("The string is empty or all blanks.");
    }
    out << printable(text.get()) << "\n";
}

void showManufacturer(std::ostream& out) {
    const std::unique_ptr<char[]> name(smbios::getManufacturerName());
    if (!name) {
        throw InspectError(
            "No manufacturer name: the SMBIOS data could not be read or holds none (\"hwinspect string 1 4\" "
            "tells why).");
    }
    out << printable(name.get()) << "\n";
}

void writeDumpBin(std::ostream& out, const std::string& path) {
    smbios::ISmbiosTable& table = sharedTable();
    const std::vector<std::uint8_t> bytes = makeDumpBin(table);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file) file.close();
    if (!file) throw InspectError("Could not write " + path + ".");
    smbios::SmbiosEntryPoint written{};
    std::memcpy(&written, bytes.data(), sizeof written);
    out << "Wrote " << written.structureCount << " structures (" << written.tableLength << " bytes of table) to "
        << path << ".\n";
}

}  // namespace hwinspect
