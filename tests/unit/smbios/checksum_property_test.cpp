// Random checksum layouts against a reference model written here: after
// every token write, writeByte and writeBlock (some failing part-way), each
// checksum the model can keep verifies in the library's own verify mode, the
// CMOS bytes equal the model's, and every refused write changed nothing.
//
// Seeded; VELMORA_CHECKSUM_CASES sets the number of cases (3000 by default,
// 1000 under the sanitizers, which make each some fifty times slower) and
// VELMORA_CHECKSUM_SEED the first seed, for a longer run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "smbios/cmos_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/token_table.h"
#include "tests/unit/cmos/memory_cmos.h"
#include "tests/unit/smbios/token_fixtures.h"

namespace {

using smbios_test::Bytes;

constexpr std::array<int, 2> kPorts = {0x70, 0x72};

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 16);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t state_;
};

struct Declared {
    int type;
    int port;
    int start;
    int end;
    int location;
};

// The model: the bytes of both banks and the rules, plainly.
class Model {
public:
    explicit Model(std::vector<Declared> declared) : declared_(std::move(declared)), refused_(declared_.size()) {
        judge();
    }

    bool refused(std::size_t i) const { return refused_[i]; }
    std::uint8_t& at(int port, int offset) { return bytes_[key(port, offset)]; }

    // Every byte a write of `written` may change, the checksum locations it
    // reaches included; refused when one lies in the bytes of a refused checksum.
    bool refuses(const std::vector<std::pair<int, int>>& written) const {
        std::vector<bool> reached(0x400, false);
        for (const auto& [port, offset] : written) {
            if (offset > 0xFF) return true;  // past the bank
            reached[key(port, offset)] = true;
        }
        for (bool grew = true; grew;) {
            grew = false;
            for (std::size_t i = 0; i < declared_.size(); ++i) {
                if (refused_[i] || !touches(i, reached)) continue;
                for (int b = 0; b < width(i); ++b) {
                    if (!reached[key(declared_[i].port, declared_[i].location + b)]) {
                        reached[key(declared_[i].port, declared_[i].location + b)] = true;
                        grew = true;
                    }
                }
            }
        }
        for (std::size_t i = 0; i < declared_.size(); ++i) {
            if (refused_[i] && touches(i, reached)) return true;
        }
        return false;
    }

    // Recomputes every checksum the model keeps until none changes.
    void settle() {
        for (int pass = 0; pass <= static_cast<int>(declared_.size()) + 1; ++pass) {
            bool changed = false;
            for (std::size_t i = 0; i < declared_.size(); ++i) {
                if (refused_[i]) continue;
                const unsigned value = sum(i);
                if (stored(i) == value) continue;
                const Declared& d = declared_[i];
                if (width(i) == 1) {
                    at(d.port, d.location) = static_cast<std::uint8_t>(value);
                } else {
                    at(d.port, d.location) = static_cast<std::uint8_t>(value >> 8);
                    at(d.port, d.location + 1) = static_cast<std::uint8_t>(value);
                }
                changed = true;
            }
            if (!changed) return;
        }
        ADD_FAILURE() << "the model did not settle";
    }

    const std::array<std::uint8_t, 0x400>& bytes() const { return bytes_; }

private:
    static std::size_t key(int port, int offset) {
        return static_cast<std::size_t>((port - 0x70) * 256 + offset) & 0x3FF;
    }
    int width(std::size_t i) const {
        const int type = declared_[i].type;
        return type == 1 ? 1 : (type == 0 || type == 2 || type == 3) ? 2 : 0;
    }
    bool inRange(std::size_t i, int offset) const { return offset >= declared_[i].start && offset <= declared_[i].end; }
    bool inLocation(std::size_t i, int offset) const {
        return offset >= declared_[i].location && offset < declared_[i].location + std::max(width(i), 1);
    }
    bool touches(std::size_t i, const std::vector<bool>& reached) const {
        for (int offset = 0; offset < 256; ++offset) {
            if (reached[key(declared_[i].port, offset)] && (inRange(i, offset) || inLocation(i, offset))) return true;
        }
        return false;
    }
    // j depends on i: i's location lies in j's range.
    bool dependsOn(std::size_t j, std::size_t i) const {
        if (i == j || declared_[i].port != declared_[j].port) return false;
        for (int b = 0; b < width(i); ++b) {
            if (inRange(j, declared_[i].location + b)) return true;
        }
        return false;
    }

    void judge() {
        const std::size_t n = declared_.size();
        for (std::size_t i = 0; i < n; ++i) {
            const Declared& d = declared_[i];
            refused_[i] = width(i) == 0 || d.location + width(i) > 256;
            for (int b = 0; b < width(i) && !refused_[i]; ++b) refused_[i] = inRange(i, d.location + b);
        }
        std::vector<bool> clash(n, false);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                if (i == j || refused_[i] || refused_[j] || declared_[i].port != declared_[j].port) continue;
                const Declared& a = declared_[i];
                const Declared& b = declared_[j];
                const bool same = a.type == b.type && a.start == b.start && a.end == b.end && a.location == b.location;
                for (int k = 0; k < width(i) && !same; ++k) clash[i] = clash[i] || inLocation(j, a.location + k);
            }
        }
        for (std::size_t i = 0; i < n; ++i) refused_[i] = refused_[i] || clash[i];
        // Reachability among the rest; a checksum that reaches itself is in a cycle.
        std::vector<std::vector<bool>> reach(n, std::vector<bool>(n, false));
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) reach[i][j] = !refused_[i] && !refused_[j] && dependsOn(j, i);
        }
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < n; ++j) reach[i][j] = reach[i][j] || (reach[i][k] && reach[k][j]);
            }
        }
        for (std::size_t i = 0; i < n; ++i) refused_[i] = refused_[i] || reach[i][i];
    }

    unsigned sum(std::size_t i) {
        const Declared& d = declared_[i];
        unsigned word = 0;
        std::uint16_t crc = 0;
        for (int offset = d.start; offset <= d.end; ++offset) {
            const std::uint8_t byte = at(d.port, offset);
            word += byte;
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x2001) : crc >> 1;
        }
        switch (d.type) {
        case 0:
            return word & 0xFFFF;
        case 1:
            return word & 0xFF;
        case 2:
            return crc;
        default:
            return (0x10000 - (word & 0xFFFF)) & 0xFFFF;
        }
    }
    unsigned stored(std::size_t i) {
        const Declared& d = declared_[i];
        return width(i) == 1 ? at(d.port, d.location) : at(d.port, d.location) * 256u + at(d.port, d.location + 1);
    }

    std::vector<Declared> declared_;
    std::vector<bool> refused_;
    std::array<std::uint8_t, 0x400> bytes_{};
};

// 1 to 12 checksums over one or two banks: nested, overlapping and disjoint
// ranges, locations often inside other ranges, now and then inside their
// own, at 0xFF, of an unknown type or declared twice.
std::vector<Declared> randomLayout(Random& random) {
    const int count = random.between(1, 12);
    const int ports = random.chance(50) ? 1 : 2;
    std::vector<Declared> layout;
    for (int i = 0; i < count; ++i) {
        if (!layout.empty() && random.chance(5)) {
            layout.push_back(layout[static_cast<std::size_t>(random.below(static_cast<int>(layout.size())))]);
            continue;
        }
        Declared d{};
        d.type = random.chance(4) ? random.between(4, 255) : random.below(4);
        d.port = kPorts[static_cast<std::size_t>(random.below(ports))];
        d.start = random.between(0x08, 0xE0);
        d.end = std::min(0xFF, d.start + random.between(0, random.chance(30) ? 0x60 : 0x18));
        const int shape = random.below(100);
        if (shape < 40 && !layout.empty()) {
            const Declared& other = layout[static_cast<std::size_t>(random.below(static_cast<int>(layout.size())))];
            d.port = other.port;
            d.location = random.between(other.start, other.end);
        } else if (shape < 44) {
            d.location = random.between(d.start, d.end);
        } else if (shape < 47) {
            d.location = 0xFF;
        } else {
            d.location = random.between(0x01, 0xFE);
        }
        layout.push_back(d);
    }
    return layout;
}

struct Token {
    std::uint16_t id;
    int port;
    token_test::D4Entry entry;
};

class ChecksumProperty : public ::testing::Test {
protected:
    void runCase(std::uint64_t seed);

    cmos_test::MemoryCmos cmos;
};

void ChecksumProperty::runCase(std::uint64_t seed) {
    Random random(seed);
    const std::vector<Declared> layout = randomLayout(random);
    Model model(layout);

    // Tokens in the structures, mostly inside checksum ranges.
    Bytes bytes = smbios_test::systemInformation(1, {"Maker"});
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        std::vector<token_test::D4Entry> entries;
        for (int t = random.between(0, 3); t > 0; --t) {
            const Declared& near = layout[static_cast<std::size_t>(random.below(static_cast<int>(layout.size())))];
            const int base = near.port == layout[i].port && random.chance(80) ? random.between(near.start, near.end)
                                                                              : random.between(0, 0xFF);
            const auto id = static_cast<std::uint16_t>(tokens.size() + 1);
            const bool string = random.chance(30);
            token_test::D4Entry entry{id, static_cast<std::uint8_t>(base),
                                      static_cast<std::uint8_t>(string ? 0 : ~(1u << random.below(8))),
                                      static_cast<std::uint8_t>(string ? random.between(0, 6) : random.below(2) << 3)};
            entries.push_back(entry);
            tokens.push_back({id, layout[i].port, entry});
        }
        const token_test::ChecksumDeclaration declared{
            static_cast<std::uint8_t>(layout[i].type), static_cast<std::uint8_t>(layout[i].start),
            static_cast<std::uint8_t>(layout[i].end), static_cast<std::uint8_t>(layout[i].location)};
        const Bytes structure = token_test::cmosTokenStructure(
            static_cast<std::uint16_t>(0xD400 + i), static_cast<std::uint16_t>(layout[i].port),
            static_cast<std::uint16_t>(layout[i].port + 1), declared, entries);
        bytes.insert(bytes.end(), structure.begin(), structure.end());
    }
    const Bytes end = smbios_test::endOfTable();
    bytes.insert(bytes.end(), end.begin(), end.end());

    // A valid start: random bytes, every kept checksum settled.
    for (const int port : kPorts) {
        for (int offset = 0; offset < 256; ++offset) model.at(port, offset) = static_cast<std::uint8_t>(random.next());
    }
    model.settle();
    auto load = [&] {
        for (const int port : kPorts) {
            for (int offset = 0; offset < 256; ++offset)
                cmos.at(static_cast<std::uint32_t>(port), static_cast<std::uint32_t>(offset)) = model.at(port, offset);
        }
    };
    load();

    const auto smbiosTable = smbios_test::tableOf(bytes);
    smbios::TokenTable table(*smbiosTable);
    auto& observers = table.checksumObservers();
    ASSERT_EQ(observers.size(), layout.size());
    for (std::size_t i = 0; i < layout.size(); ++i) {
        ASSERT_EQ(observers[i].maintainable(), !model.refused(i)) << "checksum " << i << ": " << observers[i].refusal();
    }

    for (int step = 0; step < 10; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        std::vector<std::pair<int, int>> written;
        std::vector<std::uint8_t> values;
        int failAfter = -1;
        std::function<void()> write;
        const int kind = tokens.empty() ? random.between(2, 3) : random.below(4);
        if (kind <= 1) {
            const Token& token = tokens[static_cast<std::size_t>(random.below(static_cast<int>(tokens.size())))];
            const smbios::IToken& it = *table[token.id];
            const int location = token.entry.location;
            if (token.entry.andMask != 0) {
                written.push_back({token.port, location});
                values.push_back(static_cast<std::uint8_t>((model.at(token.port, location) & token.entry.andMask) |
                                                           token.entry.orMask));
                write = [&it] { it.activate(); };
            } else {
                const int length = token.entry.orMask != 0 ? token.entry.orMask : 1;
                std::vector<std::uint8_t> text(static_cast<std::size_t>(random.between(0, 8)));
                for (std::uint8_t& c : text) c = static_cast<std::uint8_t>(random.next());
                for (int i = 0; i < length; ++i) {
                    written.push_back({token.port, location + i});
                    values.push_back(static_cast<std::size_t>(i) < text.size() ? text[static_cast<std::size_t>(i)] : 0);
                }
                write = [&it, text] { it.setString(text.data(), text.size()); };
            }
        } else if (kind == 2) {
            const int port = kPorts[static_cast<std::size_t>(random.below(2))];
            const int offset = random.below(256);
            const auto value = static_cast<std::uint8_t>(random.next());
            written.push_back({port, offset});
            values.push_back(value);
            write = [this, port, offset, value] {
                cmos.writeByte(static_cast<std::uint32_t>(port), static_cast<std::uint32_t>(port + 1),
                               static_cast<std::uint32_t>(offset), value);
            };
        } else {
            const int port = kPorts[static_cast<std::size_t>(random.below(2))];
            const int count = random.between(1, 8);
            const int offset = random.between(0, 256 - count);
            std::vector<std::uint8_t> block(static_cast<std::size_t>(count));
            for (std::uint8_t& b : block) b = static_cast<std::uint8_t>(random.next());
            for (int i = 0; i < count; ++i) {
                written.push_back({port, offset + i});
                values.push_back(block[static_cast<std::size_t>(i)]);
            }
            if (random.chance(25)) failAfter = random.below(count);
            write = [this, port, offset, block] {
                cmos::writeBlock(static_cast<std::uint32_t>(offset), &cmos, static_cast<std::uint32_t>(port),
                                 static_cast<std::uint32_t>(port + 1), block.data(), block.size());
            };
        }

        const bool refused = model.refuses(written);
        if (!refused) {
            const std::size_t stored = failAfter >= 0 ? static_cast<std::size_t>(failAfter) : written.size();
            for (std::size_t i = 0; i < stored; ++i) model.at(written[i].first, written[i].second) = values[i];
            model.settle();
        }
        if (failAfter >= 0) cmos.failingWrite = cmos.writes + failAfter;
        try {
            write();
            EXPECT_FALSE(refused) << "a write the model refuses went through";
            EXPECT_LT(failAfter, 0) << "a failed write reported success";
        } catch (const cmos::CmosWriteRefused& e) {
            EXPECT_TRUE(refused) << e.what();
        } catch (const smbios::InternalError&) {
            EXPECT_GE(failAfter, 0);
        }
        cmos.failingWrite = -1;
        EXPECT_FALSE(cmos.isSuppressed());

        const bool verifyOnly = false;
        for (std::size_t i = 0; i < observers.size(); ++i) {
            if (!observers[i].maintainable()) continue;
            try {
                observers[i].update(nullptr, &verifyOnly);
            } catch (const smbios::InvalidChecksum& e) {
                ADD_FAILURE() << "checksum " << i << " left invalid:\n" << e.what();
            }
        }
        for (const int port : kPorts) {
            for (int offset = 0; offset < 256; ++offset) {
                if (cmos.at(static_cast<std::uint32_t>(port), static_cast<std::uint32_t>(offset)) !=
                    model.at(port, offset)) {
                    ADD_FAILURE() << std::hex << "byte 0x" << offset << " of port 0x" << port << " is 0x"
                                  << int{cmos.at(static_cast<std::uint32_t>(port), static_cast<std::uint32_t>(offset))}
                                  << ", the model has 0x" << int{model.at(port, offset)};
                    load();
                    return;
                }
            }
        }
        if (::testing::Test::HasFailure()) return;
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr long kDefaultCases = 1000;
#else
constexpr long kDefaultCases = 3000;
#endif

long fromEnvironment(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && value > 0 ? value : fallback;
}

TEST_F(ChecksumProperty, EveryWriteKeepsEveryMaintainableChecksumValidOrChangesNothing) {
    const long cases = fromEnvironment("VELMORA_CHECKSUM_CASES", kDefaultCases);
    const long first = fromEnvironment("VELMORA_CHECKSUM_SEED", 1);
    cmos_test::UsingMemoryCmos using_(cmos);
    const auto began = std::chrono::steady_clock::now();
    long run = 0;
    for (long seed = first; seed < first + cases; ++seed, ++run) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        runCase(static_cast<std::uint64_t>(seed));
        if (HasFailure()) break;
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    std::cout << run << " cases from seed " << first << " in " << took.count() << " ms\n";
}

}  // namespace
