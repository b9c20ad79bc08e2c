#ifndef VELMORA_TESTS_UNIT_SMBIOS_SMBIOS_FIXTURES_H
#define VELMORA_TESTS_UNIT_SMBIOS_SMBIOS_FIXTURES_H

// Building SMBIOS structures, tables, entry points and 1 MiB memory images
// for the tests, and switching the factories to them.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "layout/little_endian.h"
#include "layout/smbios_entry_points.h"
#include "layout/smbios_structure_header.h"
#include "memory/memory_factory.h"
#include "smbios/smbios_factory.h"
#include "smbios/smbios_strategy.h"
#include "tests/unit/support/temp_path.h"

namespace smbios_test {

using Bytes = std::vector<std::uint8_t>;

// One structure: type, formatted area after the 4-byte header, strings.
// The length byte covers the header and `formatted`; `lengthOverride` >= 0
// writes another value into it.
inline Bytes structure(std::uint8_t type, std::uint16_t handle, const Bytes& formatted,
                       const std::vector<std::string>& strings = {}, int lengthOverride = -1);

// A structure whose fields a builder placed in `whole` at their layout/
// offsets, which count from the structure's start: the header is set here,
// over the first layout::structure_header::kSize bytes.
inline Bytes laidOut(std::uint8_t type, std::uint16_t handle, const Bytes& whole) {
    const auto formatted = whole.begin() + static_cast<std::ptrdiff_t>(layout::structure_header::kSize);
    return structure(type, handle, Bytes(formatted, whole.end()));
}

inline Bytes structure(std::uint8_t type, std::uint16_t handle, const Bytes& formatted,
                       const std::vector<std::string>& strings, int lengthOverride) {
    Bytes bytes = {type, static_cast<std::uint8_t>(lengthOverride >= 0 ? lengthOverride : 4 + formatted.size()), 0, 0};
    layout::write16(bytes, layout::structure_header::kHandle, handle);
    bytes.insert(bytes.end(), formatted.begin(), formatted.end());
    for (const std::string& text : strings) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    }
    if (strings.empty()) bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// The end-of-table structure.
inline Bytes endOfTable(std::uint16_t handle = 0xFFFF) { return structure(127, handle, {}); }

// A System Information structure (type 1) whose Manufacturer field (offset 4)
// holds string number `manufacturerString`.
inline Bytes systemInformation(std::uint8_t manufacturerString, const std::vector<std::string>& strings,
                               std::uint16_t handle = 1) {
    Bytes formatted(0x1B - 4, 0);
    formatted[0] = manufacturerString;
    return structure(1, handle, formatted, strings);
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A valid 2.x entry point (checksums fixed) for a table at `address`.
inline Bytes entryPoint(std::uint32_t address, std::uint16_t length, std::uint16_t count) {
    namespace at = layout::entry_point_2;
    Bytes ep(32, 0);
    std::memcpy(ep.data(), at::kAnchor, at::kAnchorLength);
    ep[at::kLength] = 0x1F;
    ep[at::kMajorVersion] = 2;
    ep[at::kMinorVersion] = 4;
    std::memcpy(ep.data() + at::kIntermediateAnchorAt, at::kIntermediateAnchor, at::kIntermediateAnchorLength);
    layout::write16(ep, at::kTableLength, length);
    layout::write32(ep, at::kTableAddress, address);
    layout::write16(ep, at::kStructureCount, count);
    ep[at::kBcdRevision] = 0x24;
    unsigned intermediate = 0;
    for (std::size_t i = at::kIntermediateAnchorAt; i < at::kMinimumLength; ++i) intermediate += ep[i];
    ep[at::kIntermediateChecksum] = static_cast<std::uint8_t>(0x100 - (intermediate & 0xFF));
    unsigned sum = 0;
    for (std::size_t i = 0; i < at::kMinimumLength; ++i) sum += ep[i];
    ep[at::kChecksum] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    return ep;
}

using test_support::uniqueTempPath;

// A 1 MiB memory image in a temporary file; filled with a pattern that holds
// no anchor, then the pieces placed at their addresses.
class SmbiosImage {
public:
    static constexpr std::uint32_t kSize = 0x100000;

    SmbiosImage() : bytes_(kSize, 0x5A), path_(uniqueTempPath("smbios") += ".img") {}
    ~SmbiosImage() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    SmbiosImage(const SmbiosImage&) = delete;
    SmbiosImage& operator=(const SmbiosImage&) = delete;

    SmbiosImage& place(std::uint32_t address, const Bytes& data) {
        std::memcpy(bytes_.data() + address, data.data(), data.size());
        return *this;
    }
    // An entry point at `entryAddress` for `table`, placed at `tableAddress`.
    SmbiosImage& withTable(const Bytes& table, std::uint32_t entryAddress = 0xF0000,
                           std::uint32_t tableAddress = 0x20000, std::uint16_t count = 0) {
        place(tableAddress, table);
        return place(entryAddress, entryPoint(tableAddress, static_cast<std::uint16_t>(table.size()), count));
    }
    // Writes the file; call after the last place().
    std::string write() {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
        return path_.string();
    }

private:
    Bytes bytes_;
    std::filesystem::path path_;
};

// Switches the memory and SMBIOS factories to an image file for the life of
// the object, and resets both (with their cached products) afterwards.
class ImageFactories {
public:
    explicit ImageFactories(const std::string& imageFile, int strict = 0, int offset = 0) {
        reset();
        memory::MemoryFactory::getFactory()->setMode(1);
        memory::MemoryFactory::getFactory()->setParameter("memFile", imageFile);
        smbios::SmbiosFactory::getFactory()->setMode(1);
        smbios::SmbiosFactory::getFactory()->setParameter("strictValidation", strict);
        smbios::SmbiosFactory::getFactory()->setParameter("offset", offset);
    }
    ~ImageFactories() { reset(); }
    ImageFactories(const ImageFactories&) = delete;
    ImageFactories& operator=(const ImageFactories&) = delete;

    static void reset() {
        smbios::SmbiosFactory::getFactory()->reset();
        memory::MemoryFactory::getFactory()->reset();
    }
};

// Hands the table bytes over as they are, with the given declared length.
class GivenTableStrategy : public smbios::SmbiosStrategy {
public:
    GivenTableStrategy(Bytes table, std::uint16_t declaredLength)
        : table_(std::move(table)), declaredLength_(declaredLength) {}
    explicit GivenTableStrategy(Bytes table) : GivenTableStrategy(table, static_cast<std::uint16_t>(table.size())) {}

    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) override {
        ++calls;
        ++allCalls;
        if (fails) return false;
        table.data.reset(new std::uint8_t[table_.size() > 0 ? table_.size() : 1]);
        if (!table_.empty()) std::memcpy(table.data.get(), table_.data(), table_.size());
        table.size = table_.size();
        entryPoint.tableLength = declaredLength_;
        entryPoint.majorVersion = 2;
        entryPoint.minorVersion = 8;
        entryPoint.structureCount = 42;
        return true;
    }

    bool fails = false;
    int calls = 0;
    // Outlives the strategies, which a table drops when all of them failed.
    static inline int allCalls = 0;

private:
    Bytes table_;
    std::uint16_t declaredLength_;
};

inline std::unique_ptr<smbios::SmbiosTable> tableOf(const Bytes& bytes, int declaredLength = -1) {
    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(declaredLength >= 0
                             ? std::make_unique<GivenTableStrategy>(bytes, static_cast<std::uint16_t>(declaredLength))
                             : std::make_unique<GivenTableStrategy>(bytes));
    auto table = std::make_unique<smbios::SmbiosTable>(std::move(strategies), false);
    table->installWorkarounds();
    return table;
}

}  // namespace smbios_test

#endif
