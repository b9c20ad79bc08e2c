#include "inspect/dump_bin.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace hwinspect {

namespace {

// The byte that makes `count` bytes from `start` sum to zero.
std::uint8_t checksumFor(const std::uint8_t* start, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += start[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

// The structures, uncorrected. Raw access is switched on and the cache
// dropped so that no corrected item is reused; afterwards the cache is
// dropped again so the table hands out corrected items as before.
std::vector<std::uint8_t> rawStructures(smbios::ISmbiosTable& table, std::uint16_t& count, std::uint16_t& largest) {
    struct Restore {
        smbios::ISmbiosTable& table;
        ~Restore() {
            table.setRawAccess(false);
            table.dropItemCache();
        }
    } restore{table};
    table.setRawAccess(true);
    table.dropItemCache();

    std::vector<std::uint8_t> bytes;
    count = 0;
    largest = 0;
    for (auto it = table.begin(); it != table.end(); ++it) {
        std::size_t size = 0;
        const std::unique_ptr<std::uint8_t[]> copy(it->copyBuffer(size));
        bytes.insert(bytes.end(), copy.get(), copy.get() + size);
        if (bytes.size() > 0xFFFF) throw std::length_error("The table is too long for a 2.x entry point.");
        ++count;
        if (size > largest) largest = static_cast<std::uint16_t>(size);
    }
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> makeDumpBin(smbios::ISmbiosTable& table) {
    std::uint16_t count = 0;
    std::uint16_t largest = 0;
    const std::vector<std::uint8_t> structures = rawStructures(table, count, largest);

    smbios::SmbiosEntryPoint source{};
    table.copyEntryPoint(source);
    smbios::SmbiosEntryPoint entry{};
    if (std::memcmp(source.anchor, "_SM_", 4) == 0) {
        entry = source;
    } else {
        entry.majorVersion = source.majorVersion;
        entry.minorVersion = source.minorVersion;
        if (entry.majorVersion < 10 && entry.minorVersion < 10) {
            entry.bcdRevision = static_cast<std::uint8_t>(entry.majorVersion << 4 | entry.minorVersion);
        }
    }
    std::memcpy(entry.anchor, "_SM_", 4);
    entry.length = 0x1F;
    entry.maxStructureSize = largest;
    std::memcpy(entry.intermediateAnchor, "_DMI_", 5);
    entry.tableLength = static_cast<std::uint16_t>(structures.size());
    entry.tableAddress = kDumpTableOffset;
    entry.structureCount = count;
    entry.trailing = 0;

    std::vector<std::uint8_t> file(kDumpTableOffset + structures.size(), 0);
    std::memcpy(file.data(), &entry, sizeof entry);
    if (!structures.empty()) std::memcpy(&file[kDumpTableOffset], structures.data(), structures.size());
    // The intermediate checksum covers the 15 bytes from "_DMI_" on; the
    // entry point's own covers all of its 31 bytes.
    file[0x15] = 0;
    file[0x15] = checksumFor(&file[0x10], 0x0F);
    file[0x04] = 0;
    file[0x04] = checksumFor(file.data(), 0x1F);
    return file;
}

}  // namespace hwinspect
