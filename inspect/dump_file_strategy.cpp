#include "inspect/dump_file_strategy.h"

#include <cstring>
#include <fstream>

#include "smbios/smbios_exceptions.h"

namespace hwinspect {

namespace {

// Dumps are a few kilobytes; anything far larger is not one.
constexpr std::uint64_t kMaxDumpFileSize = 16u << 20;

[[noreturn]] void fail(const std::string& message) { throw smbios::ParseExceptionImpl(message); }

[[noreturn]] void failOnFile(const char* message, const std::string& path) {
    smbios::ParseExceptionImpl error(message);
    error.setParameter("file", path);
    throw error;
}

}  // namespace

void readDumpBin(const std::vector<std::uint8_t>& file, smbios::TableBuffer& table,
                 smbios::SmbiosEntryPoint& entryPoint) {
    smbios::DecodedEntryPoint decoded{};
    if (!smbios::decodeEntryPoint(file.data(), file.size(), decoded)) {
        fail("Not a dump-bin file: no SMBIOS entry point at its start.");
    }
    smbios::SmbiosEntryPoint found = decoded.record;
    const std::uint64_t address = decoded.tableAddress;
    const std::uint64_t announced = decoded.tableLength;
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
