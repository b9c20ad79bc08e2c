// Walking a whole SMBIOS table through the library (every structure, every
// string, items built afresh or taken from the cache) beside the plainest walk
// of the same bytes with memchr. Tables: the largest real-world dump and a
// generated table of 64 KiB (the most a 2.x entry point can name).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "smbios/smbios_entry_point.h"
#include "smbios/smbios_table.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The structure table of a dump in the "dump-bin" layout: the entry point at
// offset 0, the table where its address field (0x18) points, as long as its
// length field (0x16) says.
Bytes dumpTable(const std::string& name) {
    std::ifstream file(std::string(VELMORA_DUMPS_DIR) + "/" + name, std::ios::binary);
    const Bytes whole((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    smbios::DecodedEntryPoint entry{};
    if (whole.size() < 0x20 || std::memcmp(whole.data(), "_SM_", 4) != 0) return {};
    if (!smbios::decodeEntryPoint(whole.data(), whole.size(), entry)) return {};
    const std::size_t length = entry.tableLength;
    const std::size_t address = entry.tableAddress;
    if (address + length > whole.size()) return {};
    return Bytes(whole.begin() + static_cast<long>(address), whole.begin() + static_cast<long>(address + length));
}

// Structures of varied shapes (formatted areas of 4 to 40 bytes, 0 to 6
// strings of 1 to 30 characters), then the end-of-table structure, filling
// 65535 bytes.
Bytes generatedTable() {
    Bytes table;
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (std::uint16_t handle = 0;; ++handle) {
        Bytes one;
        const std::uint8_t length = static_cast<std::uint8_t>(4 + next(37));
        one.push_back(static_cast<std::uint8_t>(next(45)));
        one.push_back(length);
        one.push_back(static_cast<std::uint8_t>(handle));
        one.push_back(static_cast<std::uint8_t>(handle >> 8));
        for (unsigned i = 4; i < length; ++i) one.push_back(static_cast<std::uint8_t>(1 + next(255)));
        const unsigned strings = next(7);
        for (unsigned s = 0; s < strings; ++s) {
            const unsigned characters = 1 + next(30);
            for (unsigned c = 0; c < characters; ++c) one.push_back(static_cast<std::uint8_t>('A' + next(26)));
            one.push_back(0);
        }
        if (strings == 0) one.push_back(0);
        one.push_back(0);
        if (table.size() + one.size() + 6 > 0xFFFF) break;
        table.insert(table.end(), one.begin(), one.end());
    }
    const Bytes endOfTable = {127, 4, 0xFF, 0xFF, 0, 0};
    table.insert(table.end(), endOfTable.begin(), endOfTable.end());
    table.resize(0xFFFF, 0);
    return table;
}

class GivenBytes : public smbios::SmbiosStrategy {
public:
    explicit GivenBytes(const Bytes& bytes) : bytes_(bytes) {}
    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) override {
        table.data.reset(new std::uint8_t[bytes_.size()]);
        std::memcpy(table.data.get(), bytes_.data(), bytes_.size());
        table.size = bytes_.size();
        entryPoint.tableLength = static_cast<std::uint16_t>(bytes_.size());
        return true;
    }

private:
    Bytes bytes_;
};

std::unique_ptr<smbios::SmbiosTable> tableOf(const Bytes& bytes) {
    smbios::SmbiosTable::StrategyList strategies;
    strategies.push_back(std::make_unique<GivenBytes>(bytes));
    auto table = std::make_unique<smbios::SmbiosTable>(std::move(strategies), false);
    table->installWorkarounds();
    return table;
}

// Every string of an item, by number, as a caller reads them; the item's
// buffer says where its string set ends, so no lookup has to fail.
std::size_t readStrings(const smbios::ISmbiosItem& item) {
    const char* text = item.stringAt(1);
    const char* const end = text + (item.bufferSize() - item.length());
    std::size_t characters = 0;
    for (unsigned number = 1;;) {
        const std::size_t length = std::strlen(text);
        characters += length;
        const char* following = text + length + 1;
        if (length == 0 || following >= end || *following == '\0' || ++number > 255) break;
        text = item.stringAt(static_cast<std::uint8_t>(number));
    }
    return characters;
}

// One dereference per structure, every string read once.
std::size_t walkLibrary(const smbios::ISmbiosTable& table) {
    std::size_t characters = 0;
    for (const smbios::ISmbiosItem& item : table) characters += item.type() + readStrings(item);
    return characters;
}

// The same walk with no library: from structure to structure over the raw
// bytes, each string measured once with memchr.
std::size_t walkMemchr(const Bytes& bytes) {
    std::size_t characters = 0;
    const std::uint8_t* const data = bytes.data();
    const std::size_t end = bytes.size();
    std::size_t offset = 0;
    while (offset + 4 <= end) {
        const std::uint8_t type = data[offset];
        characters += type;
        // Each string ends at a NUL; a NUL right behind that closes the set.
        std::size_t scan = offset + data[offset + 1];
        for (;;) {
            if (scan >= end) return characters;
            const void* nul = std::memchr(data + scan, 0, end - scan);
            if (nul == nullptr) return characters;
            const std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data);
            characters += at - scan;
            scan = at + 1;
            if (scan >= end) return characters;
            if (data[scan] == 0) break;
        }
        if (type == 127) break;
        offset = scan + 1;
    }
    return characters;
}

const Bytes& table009() {
    static const Bytes bytes = dumpTable("009-VMWare.bin");
    return bytes;
}

const Bytes& table64k() {
    static const Bytes bytes = generatedTable();
    return bytes;
}

const Bytes& tableFor(const benchmark::State& state) { return state.range(0) == 0 ? table009() : table64k(); }

void labelled(benchmark::State& state, const Bytes& bytes) {
    state.SetLabel(state.range(0) == 0 ? "dump 009" : "generated 64 KiB");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}

void BM_WalkItemsNotCached(benchmark::State& state) {
    const Bytes& bytes = tableFor(state);
    if (bytes.empty()) return state.SkipWithError("the shared dumps are not here");
    auto table = tableOf(bytes);
    for (auto _ : state) {
        table->dropItemCache();
        benchmark::DoNotOptimize(walkLibrary(*table));
    }
    labelled(state, bytes);
}

void BM_WalkItemsCached(benchmark::State& state) {
    const Bytes& bytes = tableFor(state);
    if (bytes.empty()) return state.SkipWithError("the shared dumps are not here");
    auto table = tableOf(bytes);
    walkLibrary(*table);
    for (auto _ : state) benchmark::DoNotOptimize(walkLibrary(*table));
    labelled(state, bytes);
}

void BM_WalkMemchr(benchmark::State& state) {
    const Bytes& bytes = tableFor(state);
    if (bytes.empty()) return state.SkipWithError("the shared dumps are not here");
    for (auto _ : state) benchmark::DoNotOptimize(walkMemchr(bytes));
    labelled(state, bytes);
}

}  // namespace

BENCHMARK(BM_WalkItemsNotCached)->Arg(0)->Arg(1);
BENCHMARK(BM_WalkItemsCached)->Arg(0)->Arg(1);
BENCHMARK(BM_WalkMemchr)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
