// Fuzz target: checksum declarations and writes taken from the input. The
// declarations become 0xD4 structures of a token table over an in-memory
// CMOS whose checksums start valid; then writes of one kind follow: token
// activations, token strings, single bytes, or block writes (some failing
// part-way). After every write the target aborts when a checksum the table
// keeps does not verify, a refused write changed a byte, or a byte changed
// that is neither written nor a checksum location.
//
// One kind of write per input keeps the code an input reaches, and so the
// fuzzer's bookkeeping per input, small. Every write starts from checksums
// that verify, whatever kind of write left them so.
//
// Input: byte 0 chooses the kind of write (% 4: activation, string, byte,
// block); byte 1 gives the number of declarations (1 + byte % 16); each is 5
// bytes (type, bank, start, end, location); every 4 bytes after them are one
// write (fill byte of a block, structure or bank, two arguments), up to 16
// writes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "cmos/checksum_types.h"
#include "fuzz/fuzz_cmos.h"
#include "smbios/cmos_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"
#include "smbios/token_table.h"
#include "tests/unit/smbios/token_fixtures.h"

namespace {

constexpr std::uint16_t kPorts[2] = {0x70, 0x72};
// The pages the writes can reach (a block may run past its page's end into
// the next), watched after every write; the rest of the image stays zero.
constexpr std::size_t kWatchedFrom = 0x70 * 256;
constexpr std::size_t kWatchedTo = 0x74 * 256;
// Writes taken from one input: enough for every interleaving of a few
// declarations, few enough that an input stays cheap.
constexpr std::size_t kMaxWrites = 16;

struct Declared {
    std::uint8_t type, start, end, location;
    std::uint16_t port;
};

// Valid start: every maintainable checksum repaired, by writing each
// location once more until the set settles.
void settle(smbios::TokenTable& table, cmos_test::MemoryCmos& cmos) {
    const bool verifyOnly = false;
    for (std::size_t pass = 0; pass <= table.observerCount(); ++pass) {
        bool valid = true;
        for (smbios::CmosRWChecksumObserver& observer : table.checksumObservers()) {
            if (!observer.maintainable()) continue;
            try {
                observer.update(&cmos, &verifyOnly);
            } catch (const smbios::InvalidChecksum&) {
                valid = false;
                observer.update(&cmos, nullptr);
            }
        }
        if (valid) return;
    }
    std::abort();
}

// The watched bytes a write changed, as (port, offset). Found with memcmp a
// line at a time: a write changes a few bytes of the watched kilobyte.
using Changed = std::vector<std::pair<int, int>>;

void findChanged(const std::uint8_t* before, const std::uint8_t* after, Changed& changed) {
    constexpr std::size_t kLine = 64;
    changed.clear();
    for (std::size_t line = 0; line < kWatchedTo - kWatchedFrom; line += kLine) {
        if (std::memcmp(before + line, after + line, kLine) == 0) continue;
        for (std::size_t at = line; at < line + kLine; ++at) {
            if (before[at] == after[at]) continue;
            const std::size_t address = kWatchedFrom + at;
            changed.push_back({static_cast<int>(address / 256), static_cast<int>(address % 256)});
        }
    }
}

bool anyChanged(const Changed& changed, int port, int from, int to) {
    for (const auto& [p, offset] : changed) {
        if (p == port && offset >= from && offset <= to) return true;
    }
    return false;
}

// Every checksum the table keeps verifies. One whose range and location
// hold no changed byte is as valid as it was before the write, so only the
// others are read again.
void verifyAll(smbios::TokenTable& table, cmos_test::MemoryCmos& cmos, const Changed& changed) {
    const bool verifyOnly = false;
    for (smbios::CmosRWChecksumObserver& observer : table.checksumObservers()) {
        if (!observer.maintainable()) continue;
        const int port = observer.indexPort();
        const int location = observer.checksumLocation();
        const int width = smbios::checksumKind(observer.checksumType())->width;
        if (!anyChanged(changed, port, observer.rangeStart(), observer.rangeEnd()) &&
            !anyChanged(changed, port, location, location + width - 1)) {
            continue;
        }
        try {
            observer.update(&cmos, &verifyOnly);
        } catch (const smbios::InvalidChecksum&) {
            std::abort();
        }
    }
}

bool mayChange(smbios::TokenTable& table, const std::vector<std::pair<int, int>>& written, int port, int offset) {
    for (const auto& [p, o] : written) {
        if (p == port && o == offset) return true;
    }
    for (const smbios::CmosRWChecksumObserver& observer : table.checksumObservers()) {
        if (!observer.maintainable() || observer.indexPort() != port) continue;
        const int width = smbios::checksumKind(observer.checksumType())->width;
        if (offset >= observer.checksumLocation() && offset < observer.checksumLocation() + width) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) return 0;
    const unsigned kind = data[0] % 4;
    ++data;
    --size;
    const std::size_t count = 1 + data[0] % 16;
    if (size < 1 + 5 * count) return 0;
    std::vector<Declared> declared;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* d = data + 1 + 5 * i;
        declared.push_back({d[0], d[2], d[3], d[4], kPorts[d[1] & 1]});
    }

    cmos_test::MemoryCmos& cmos = fuzz::freshCmos(0);
    for (std::size_t i = kWatchedFrom; i < kWatchedTo; ++i)
        cmos.bytes[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8));
    cmos_test::UsingMemoryCmos using_(cmos);

    // Each structure: a bit token at its range start, a 2-byte string at its end.
    smbios_test::Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const Declared& d = declared[i];
        const std::vector<token_test::D4Entry> entries{{static_cast<std::uint16_t>(2 * i + 1), d.start, 0xFE, 0x01},
                                                       {static_cast<std::uint16_t>(2 * i + 2), d.end, 0x00, 0x02}};
        const smbios_test::Bytes structure = token_test::cmosTokenStructure(
            static_cast<std::uint16_t>(0xD400 + i), d.port, static_cast<std::uint16_t>(d.port + 1),
            {d.type, d.start, d.end, d.location}, entries);
        bytes.insert(bytes.end(), structure.begin(), structure.end());
    }
    const smbios_test::Bytes end = smbios_test::endOfTable();
    bytes.insert(bytes.end(), end.begin(), end.end());
    const auto smbiosTable = smbios_test::tableOf(bytes);
    smbios::TokenTable table(*smbiosTable);
    settle(table, cmos);

    const std::size_t writes = std::min((size - 1 - 5 * count) / 4, kMaxWrites);
    const std::uint8_t* const firstWrite = data + 1 + 5 * count;
    std::array<std::uint8_t, kWatchedTo - kWatchedFrom> before;
    Changed changed;
    std::vector<std::pair<int, int>> written;
    for (const std::uint8_t* op = firstWrite; op < firstWrite + 4 * writes; op += 4) {
        std::memcpy(before.data(), cmos.bytes.data() + kWatchedFrom, before.size());
        written.clear();
        const int port = kPorts[op[1] & 1];
        const std::size_t structure = op[1] % count;
        bool refused = false;
        try {
            switch (kind) {
            case 0: {
                written.push_back({declared[structure].port, declared[structure].start});
                table[static_cast<int>(2 * structure + 1)]->activate();
                break;
            }
            case 1: {
                written.push_back({declared[structure].port, declared[structure].end});
                written.push_back({declared[structure].port, declared[structure].end + 1});
                table[static_cast<int>(2 * structure + 2)]->setString(op + 2, 2);
                break;
            }
            case 2:
                written.push_back({port, op[2]});
                cmos.writeByte(port, port + 1u, op[2], op[3]);
                break;
            default: {
                const std::size_t length = 1 + op[3] % 8;
                for (std::size_t i = 0; i < length; ++i) written.push_back({port, op[2] + static_cast<int>(i)});
                if (op[3] & 0x80) cmos.failingWrite = cmos.writes + (op[3] >> 4) % static_cast<long>(length);
                std::vector<std::uint8_t> block(length, op[0]);
                cmos::writeBlock(op[2], &cmos, port, port + 1u, block.data(), block.size());
                break;
            }
            }
        } catch (const cmos::CmosWriteRefused&) {
            refused = true;
        } catch (const smbios::InternalError&) {
        }
        cmos.failingWrite = -1;
        if (cmos.isSuppressed()) std::abort();
        findChanged(before.data(), cmos.bytes.data() + kWatchedFrom, changed);
        if (refused && !changed.empty()) std::abort();
        verifyAll(table, cmos, changed);
        // A block running past its page's end reaches into the next page,
        // which no write names: only the declared banks' pages are checked.
        for (const auto& [p, offset] : changed) {
            if ((p == kPorts[0] || p == kPorts[1]) && !mayChange(table, written, p, offset)) std::abort();
        }
    }
    return 0;
}
