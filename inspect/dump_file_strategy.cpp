#include "inspect/dump_file_strategy.h"

#include <cstring>
#include <fstream>

#include "smbios/smbios_exceptions.h"

namespace hwinspect {

namespace {

// Dumps are a few kilobytes; anything far larger is not one.
constexpr std::uint64_t kMaxDumpFileSize = 16u << 20;

std::uint64_t little(const std::uint8_t* bytes, unsigned count) {
    std::uint64_t value = 0;
    for (unsigned i = count; i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

[[noreturn]] void fail(const std::string& message) { throw smbios::ParseExceptionImpl(message); }

[[noreturn]] void failOnFile(const char* message, const std::string& path) {
    smbios::ParseExceptionImpl error(message);
    error.setParameter("file", path);
    throw error;
}

}  // namespace

void readDumpBin(const std::vector<std::uint8_t>& file, smbios::TableBuffer& table,
                 smbios::SmbiosEntryPoint& entryPoint) {
    smbios::SmbiosEntryPoint found{};
    std::uint64_t address = 0;
    std::uint64_t announced = 0;
    if (file.size() >= 0x1F && std::memcmp(file.data(), "_SM_", 4) == 0) {
        std::memcpy(&found, file.data(), file.size() < sizeof found ? file.size() : sizeof found);
        address = found.tableAddress;
        announced = found.tableLength;
    } else if (file.size() >= 0x18 && std::memcmp(file.data(), "_SM3_", 5) == 0) {
        std::memcpy(found.anchor, "_SM3", 4);
        found.length = file[0x06];
        found.majorVersion = file[0x07];
        found.minorVersion = file[0x08];
        found.structureCount = smbios::kUnknownStructureCount;
        address = little(file.data() + 0x10, 8);
        announced = little(file.data() + 0x0C, 4);
        found.tableAddress = static_cast<std::uint32_t>(address);
    } else {
        fail("Not a dump-bin file: no SMBIOS entry point at its start.");
    }
    if (address >= file.size()) fail("The dump's table address lies beyond the end of the file.");

    std::uint64_t length = file.size() - address;
    if (announced < length) length = announced;
    if (length > 0xFFFF) length = 0xFFFF;
    if (length == 0) fail("The dump's entry point announces an empty table.");
    found.tableLength = static_cast<std::uint16_t>(length);

    table.data.reset(new std::uint8_t[length]);
    std::memcpy(table.data.get(), file.data() + address, length);
    table.size = length;
    entryPoint = found;
}

DumpFileStrategy::DumpFileStrategy(std::string path) : path_(std::move(path)) {}

bool DumpFileStrategy::getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) {
    std::ifstream file(path_, std::ios::binary);
    if (!file) failOnFile("Could not open the dump file %(file)s", path_);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxDumpFileSize)
        failOnFile("Not a dump-bin file: %(file)s", path_);
    file.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (size > 0 && !file.read(reinterpret_cast<char*>(bytes.data()), size))
        failOnFile("Could not read the dump file %(file)s", path_);

    // Built aside, so a malformed file leaves the table's buffer as it was.
    smbios::TableBuffer loaded;
    smbios::SmbiosEntryPoint record{};
    readDumpBin(bytes, loaded, record);
    table = std::move(loaded);
    entryPoint = record;
    return true;
}

}  // namespace hwinspect
