// The token table: built from the token structures of a realistic table,
// looked up by id, iterated, made by its factory; built from every real
// machine's table; and built and printed over crafted, cut and oversized
// structures without reading outside a buffer (run under the sanitizers).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "smbios/cmos_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/token_table.h"
#include "smbios/token_table_factory.h"
#include "tests/unit/smbios/shared_data.h"
#include "tests/unit/smbios/token_fixtures.h"
#include "tests/unit/support/error_text.h"

namespace {

namespace fs = std::filesystem;
using smbios_test::Bytes;
using smbios_test::join;
using token_test::CmosImage;
using token_test::D4Entry;

// The structures of a real machine's table without its end-of-table
// structure; a small stand-in when the shared dumps are absent.
Bytes ordinaryStructures() {
    const fs::path folder = smbios_test::sharedSmbiosData();
    if (!folder.empty()) {
        std::ifstream file(folder / "dumps" / "007-SuperMicro-X9DBL.bin", std::ios::binary);
        const Bytes dump((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (dump.size() > 0x20) {
            const auto table = smbios_test::tableOf(Bytes(dump.begin() + 0x20, dump.end()));
            Bytes structures;
            for (auto it = table->begin(); it != table->end(); ++it) {
                if (it->type() == 127) break;
                std::size_t size = 0;
                std::unique_ptr<std::uint8_t[]> copy(it->copyBuffer(size));
                structures.insert(structures.end(), copy.get(), copy.get() + size);
            }
            return structures;
        }
    }
    return join({smbios_test::structure(0, 0, {1, 2, 0, 0xF0, 3, 0x7F}, {"Vendor", "1.0", "01/01/2020"}),
                 smbios_test::systemInformation(1, {"Maker"})});
}

// Several 0xD4 structures over two banks, protected strings, and a 0xDA
// with many entries, mixed into a real machine's structures.
Bytes serverLikeTable() {
    std::vector<D4Entry> bank1, bank2;
    for (std::uint16_t i = 0; i < 40; ++i) {
        bank1.push_back({static_cast<std::uint16_t>(0x0100 + i), static_cast<std::uint8_t>(0x40 + i / 8),
                         static_cast<std::uint8_t>(~(1u << (i % 8))), static_cast<std::uint8_t>((i % 2) << (i % 8))});
    }
    for (std::uint16_t i = 0; i < 12; ++i) {
        bank2.push_back({static_cast<std::uint16_t>(0x0200 + i), static_cast<std::uint8_t>(0x10 + 2 * i), 0x00, 2});
    }
    std::vector<smi_test::DaEntry> smiEntries;
    for (std::uint16_t i = 0; i < 30; ++i) {
        smiEntries.push_back({static_cast<std::uint16_t>(0x0300 + i), static_cast<std::uint16_t>(0x20 + i),
                              static_cast<std::uint16_t>(i % 3)});
    }
    token_test::ProtectedString d5;
    d5.id = 0x0400;
    d5.length = 8;
    d5.location = 0x60;
    d5.checksumLocation = 0x68;
    Bytes table = ordinaryStructures();
    const Bytes tokenStructures = join(
        {token_test::cmosTokenStructure(0xD400, 0x70, 0x71, {0, 0x40, 0x4F, 0x50}, bank1),
         token_test::cmosTokenStructure(0xD401, 0x72, 0x73, {1, 0x10, 0x2F, 0x30}, bank2),
         token_test::cmosTokenStructure(0xD402, 0x70, 0x71, {}, {}), token_test::protectedStringStructure(d5),
         smi_test::callingInterfaceStructure(0xDA00, 0xB2, 0x8D, smiEntries)});
    // Token structures sit between the ordinary ones, as firmware places them.
    const std::size_t middle = table.size() / 2;
    auto table0 = smbios_test::tableOf(table);
    std::size_t split = 0;
    for (auto it = table0->begin(); it != table0->end(); ++it) {
        split += it->bufferSize();
        if (split >= middle) break;
    }
    table.insert(table.begin() + static_cast<std::ptrdiff_t>(split), tokenStructures.begin(), tokenStructures.end());
    const Bytes end = smbios_test::endOfTable();
    table.insert(table.end(), end.begin(), end.end());
    return table;
}

TEST(TokenTable, BuildsEveryTokenOfAServerLikeTableInStructureOrder) {
    CmosImage cmos = CmosImage::inFactory();
    const auto smbiosTable = smbios_test::tableOf(serverLikeTable());
    const smbios::TokenTable table(*smbiosTable);
    std::vector<std::string> classes;
    std::vector<std::uint16_t> ids;
    for (auto it = table.begin(); it != table.end(); ++it) {
        classes.push_back(it->getTokenClass());
        ids.push_back(it->getType());
    }
    ASSERT_EQ(ids.size(), 40u + 12u + 1u + 30u);
    EXPECT_EQ(ids.front(), 0x0100);
    EXPECT_EQ(ids[40], 0x0200);
    EXPECT_EQ(ids[52], 0x0400);
    EXPECT_EQ(classes[52], "TokenD5");
    EXPECT_EQ(ids.back(), 0x031D);
    EXPECT_EQ(classes.back(), "TokenDA");
    EXPECT_EQ(table.observerCount(), 4u) << "one per 0xD4, the empty one included, and the 0xD5's own";

    std::uint16_t index = 0, data = 0;
    std::uint8_t location = 0;
    dynamic_cast<const smbios::ICmosToken&>(*table[0x0205]).getCMOSDetails(&index, &data, &location);
    EXPECT_EQ(index, 0x72);
    EXPECT_EQ(data, 0x73);
    EXPECT_EQ(location, 0x1A);
}

TEST(TokenTable, LooksUpByIdAcrossDuplicates) {
    CmosImage cmos = CmosImage::inFactory();
    const auto smbiosTable = smbios_test::tableOf(join(
        {token_test::cmosTokenStructure(0xD400, 0x70, 0x71, {}, {{7, 0x10, 0xFE, 1}, {8, 0x11, 0xFE, 1}}),
         token_test::cmosTokenStructure(0xD401, 0x72, 0x73, {}, {{7, 0x20, 0xFE, 1}}), smbios_test::endOfTable()}));
    smbios::TokenTable table(*smbiosTable);
    auto it = table[7];
    EXPECT_EQ(it->getItemRef().handle(), 0xD400);
    ++it;
    EXPECT_EQ(it->getItemRef().handle(), 0xD401);
    ++it;
    EXPECT_EQ(it, table.end());
    ++it;
    EXPECT_EQ(it, table.end()) << "the end stays the end";

    const smbios::TokenTable& constTable = table;
    EXPECT_EQ(constTable[0x1234], constTable.end());
    for (const smbios::ConstTokenTableIterator& nowhere : {constTable[0x1234], constTable.end()}) {
        EXPECT_EQ(test_support::errorTextOf<smbios::DerefNullPointer>([&] { *nowhere; }),
                  "tried to dereference non-existent token");
    }
    EXPECT_THROW(table.tokensByKey("anything"), smbios::NotImplemented);
    EXPECT_THROW(constTable.tokensByKey("anything"), smbios::NotImplemented);
    std::ostringstream printed;
    printed << table;
    EXPECT_EQ(printed.str(), "Token Table");
}

TEST(TokenTable, EntriesAreReadOnlyFromTheFormattedArea) {
    CmosImage cmos = CmosImage::inFactory();
    // A 0xD4 with no entries but its checksum declaration; one cut inside its
    // second entry, with strings behind; a 0xDA without a closing entry.
    Bytes cut = token_test::cmosTokenStructure(0xD401, 0x70, 0x71, {}, {{1, 0x10, 0xFE, 1}, {2, 0x11, 0xFE, 1}}, false);
    cut = smbios_test::structure(0xD4, 0xD401, Bytes(cut.begin() + 4, cut.begin() + 4 + 8 + 5 + 3),
                                 {"\x02\x00\x11\xFE\x01"});
    const auto smbiosTable = smbios_test::tableOf(
        join({token_test::cmosTokenStructure(0xD400, 0x70, 0x71, {}, {}), cut,
              smi_test::callingInterfaceStructure(0xDA00, 0xB2, 0x8D, {{5, 1, 1}, {6, 2, 1}}, false),
              smbios_test::endOfTable()}));
    smbios::TokenTable table(*smbiosTable);
    std::vector<std::uint16_t> ids;
    for (const smbios::IToken& token : table) ids.push_back(token.getType());
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{1, 5, 6}));
    EXPECT_EQ(table.observerCount(), 2u);
}

// Other makers' structures of the same type numbers: a header too short for
// the ports, a checksum type no observer knows, a 0xDA shorter than its
// header. The table builds; only what lies inside each structure is used,
// and the checksum it cannot keep refuses the writes that would stale it.
TEST(TokenTable, ForeignLayoutsOfTheSameTypesStillBuild) {
    CmosImage cmos = CmosImage::inFactory();
    const auto smbiosTable = smbios_test::tableOf(
        join({smbios_test::structure(0xD4, 0xD400, {0x01, 0x02}),
              token_test::cmosTokenStructure(0xD401, 0x70, 0x71, {7, 0x10, 0x1F, 0x20},
                                             {{3, 0x10, 0xFE, 1}, {4, 0x30, 0xFE, 1}}),
              smbios_test::structure(0xDA, 0xDA00, {0x01, 0x02, 0x03, 0x04}, {"text"}), smbios_test::endOfTable()}));
    smbios::TokenTable table(*smbiosTable);
    ASSERT_NE(table[3], table.end());
    EXPECT_EQ(std::next(table.begin(), 2), table.end());
    ASSERT_EQ(table.observerCount(), 1u) << "the short header declares no checksum; type 7 is kept, refused";
    EXPECT_EQ(table.checksumObservers()[0].refusal(), "its type 0x7 is not a known checksum type");
    EXPECT_THROW(table[3]->activate(), cmos::CmosWriteRefused);
    EXPECT_EQ(cmos.at(0x70, 0x10), 0) << "nothing written under a checksum that cannot be kept";
    table[4]->activate();
    EXPECT_EQ(cmos.at(0x70, 0x30), 1) << "writes elsewhere go on";
}

TEST(TokenTableFactory, CachesTheFirstTableAndRefusesUnknownModes) {
    CmosImage cmos = CmosImage::inFactory();
    smi_test::GivenSmbiosTable given(join(
        {token_test::cmosTokenStructure(0xD400, 0x70, 0x71, {}, {{1, 0x10, 0xFE, 1}}), smbios_test::endOfTable()}));
    const auto other = smbios_test::tableOf(join(
        {token_test::cmosTokenStructure(0xD400, 0x70, 0x71, {}, {{2, 0x10, 0xFE, 1}}), smbios_test::endOfTable()}));
    smbios::TokenTableFactory* factory = smbios::TokenTableFactory::getFactory();
    smbios::ITokenTable* shared = factory->getSingleton();  // from the shared SMBIOS table
    EXPECT_EQ(shared->begin()->getType(), 1);
    EXPECT_EQ(factory->getSingleton(other.get()), shared);
    std::unique_ptr<smbios::ITokenTable> fresh(factory->makeNew(other.get()));
    EXPECT_EQ(fresh->begin()->getType(), 2);
    fresh.reset();

    factory->setMode(2);
    EXPECT_EQ(test_support::errorTextOf<smbios::InvalidTokenTableMode>([&] { delete factory->makeNew(other.get()); }),
              "");
}

TEST(TokenTable, EveryRealMachineBuildsWithoutError) {
    const fs::path folder = smbios_test::sharedSmbiosData();
    if (folder.empty()) GTEST_SKIP() << "no real-world SMBIOS dumps beside this checkout";
    CmosImage cmos = CmosImage::inFactory();
    int dumps = 0;
    for (const auto& entry : fs::directory_iterator(folder / "dumps")) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream file(entry.path(), std::ios::binary);
        const Bytes dump((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_GT(dump.size(), 0x20u);
        const auto smbiosTable = smbios_test::tableOf(Bytes(dump.begin() + 0x20, dump.end()));
        const smbios::TokenTable table(*smbiosTable);
        EXPECT_EQ(table.begin(), table.end());
        ++dumps;
    }
    EXPECT_GT(dumps, 0);
}

// A small deterministic generator, so a failure names a reproducible seed.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

private:
    std::uint32_t state_;
};

// Token structures of every length from the bare header to the largest,
// with arbitrary contents, sometimes cut off by the table's declared length:
// building and printing every token must stay inside every buffer. Whatever
// the tokens mean, only the library's own errors may come out.
TEST(TokenTable, ArbitraryTokenStructuresStayInBounds) {
    CmosImage cmos = CmosImage::inFactory(0xA5);
    const std::uint8_t types[] = {0xD4, 0xD5, 0xD6, 0xDA};
    int tokenCount = 0;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Lcg random(seed);
        Bytes bytes;
        for (int s = 0; s < 8; ++s) {
            const std::uint8_t type = types[random.next() % 4];
            const unsigned length = 4 + random.next() % 252;
            Bytes formatted(length - 4);
            for (std::uint8_t& b : formatted) b = random.byte();
            // Mostly small masks and lengths, so strings and bits both occur.
            const std::vector<std::string> strings = random.next() % 2 ? std::vector<std::string>{"s"}
                                                                       : std::vector<std::string>{};
            const Bytes structure = smbios_test::structure(type, static_cast<std::uint16_t>(random.next()), formatted,
                                                           strings);
            bytes.insert(bytes.end(), structure.begin(), structure.end());
        }
        const int declared = seed % 3 == 0 ? static_cast<int>(bytes.size() - random.next() % 40) : -1;
        const auto smbiosTable = smbios_test::tableOf(bytes, declared);
        std::unique_ptr<smbios::TokenTable> table;
        try {
            table = std::make_unique<smbios::TokenTable>(*smbiosTable);
        } catch (const smbios::IException& error) {
            ADD_FAILURE() << "the table did not build: " << error.what();
            continue;
        }
        for (const smbios::IToken& token : *table) {
            ++tokenCount;
            std::ostringstream printed;
            try {
                printed << token;
                if (token.isString() && token.getTokenClass() != "TokenDA") {
                    std::vector<std::uint8_t> buffer(token.getStringLength() + 1);
                    token.getString(buffer.data(), static_cast<unsigned>(buffer.size()));
                }
            } catch (const smbios::IException&) {
            }
        }
    }
    EXPECT_GT(tokenCount, 200) << "the structures yielded too few tokens to exercise";
}

}  // namespace
