// Tables of real machines: every dump is laid into a memory image and read
// through the factories in their file modes, as on a machine; the walk must
// reach the dump's end and the manufacturer must be the one a standard
// decoder reports (without trailing blanks).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "smbios/smbios_platform_strategies.h"
#include "smbios/system_info.h"
#include "tests/unit/smbios/shared_data.h"
#include "tests/unit/smbios/smbios_fixtures.h"

namespace {

namespace fs = std::filesystem;
using smbios_test::Bytes;

struct Dump {
    std::string file;
    bool version3;
    std::size_t tableLength;
    int structureCount;
    std::string manufacturer;  // as the decoder printed it, trailing blanks included
};

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    return fields;
}

std::vector<Dump> readManifest(const fs::path& folder) {
    std::ifstream manifest(folder / "MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);  // column names
    std::vector<Dump> dumps;
    while (std::getline(manifest, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = splitTabs(line);
        if (fields.size() < 10) continue;
        const std::string& bracketed = fields[9];
        dumps.push_back({fields[0], fields[6].find("_SM3_") != std::string::npos,
                         static_cast<std::size_t>(std::stoul(fields[7])), std::stoi(fields[8]),
                         bracketed.size() >= 2 ? bracketed.substr(1, bracketed.size() - 2) : ""});
    }
    return dumps;
}

Bytes readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string expectedManufacturer(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.empty() ? "<null>" : "[" + text + "]";
}

struct Walk {
    int count = 0;
    int lastType = -1;
};

Walk walk(const smbios::ISmbiosTable& table) {
    Walk seen;
    for (auto it = table.begin(); it != table.end(); ++it) {
        ++seen.count;
        seen.lastType = it->type();
    }
    return seen;
}

class RealWorldDumps : public ::testing::Test {
protected:
    void SetUp() override {
        folder = smbios_test::sharedSmbiosData();
        if (folder.empty()) GTEST_SKIP() << "no real-world SMBIOS dumps beside this checkout";
        dumps = readManifest(folder);
        ASSERT_FALSE(dumps.empty());
    }
    fs::path folder;
    std::vector<Dump> dumps;
};

// The dumps keep the entry point at offset 0 and the table from 0x20 on.
constexpr std::uint32_t kTableOffset = 0x20;

TEST_F(RealWorldDumps, FoundWalkedAndNamedThroughTheMemoryImage) {
    for (const Dump& dump : dumps) {
        SCOPED_TRACE(dump.file);
        const Bytes bytes = readFile(folder / "dumps" / dump.file);
        ASSERT_GE(bytes.size(), kTableOffset + dump.tableLength);
        const Bytes table(bytes.begin() + kTableOffset, bytes.begin() + kTableOffset + dump.tableLength);

        smbios_test::SmbiosImage image;
        image.place(kTableOffset, table);
        if (dump.version3) {
            // A 2.x reader does not know the 3.x anchor: give the table one it knows.
            image.place(0xF0000, smbios_test::entryPoint(kTableOffset, static_cast<std::uint16_t>(table.size()), 0));
        } else {
            image.place(0xF0000, Bytes(bytes.begin(), bytes.begin() + 32));
        }
        // The product's default, lax validation: 015's entry point announces
        // version 3.0, which strict validation rejects.
        smbios_test::ImageFactories factories(image.write());

        const smbios::ISmbiosTable* found = nullptr;
        try {
            found = smbios::SmbiosFactory::getFactory()->getSingleton();
        } catch (const std::exception& error) {
            ADD_FAILURE() << "no table: " << error.what();
            continue;
        }
        ASSERT_NE(found, nullptr);
        const Walk seen = walk(*found);
        EXPECT_EQ(seen.count, dump.structureCount);
        if (dump.file.rfind("012-", 0) != 0) {  // 012 has no end-of-table structure
            EXPECT_EQ(seen.lastType, 127);
        }

        std::unique_ptr<char[]> name(smbios::getManufacturerName());
        EXPECT_EQ(name ? "[" + std::string(name.get()) + "]" : "<null>", expectedManufacturer(dump.manufacturer));
    }
}

TEST_F(RealWorldDumps, VersionThreeTablesThroughTheKernelsFiles) {
    for (const Dump& dump : dumps) {
        if (!dump.version3) continue;
        SCOPED_TRACE(dump.file);
        const Bytes bytes = readFile(folder / "dumps" / dump.file);
        const fs::path tables = smbios_test::uniqueTempPath("dmi-tables");
        fs::create_directories(tables);
        std::ofstream(tables / "smbios_entry_point", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), 24);
        std::ofstream(tables / "DMI", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data() + kTableOffset),
                   static_cast<std::streamsize>(dump.tableLength));

        smbios::SmbiosTable::StrategyList strategies;
        strategies.push_back(std::make_unique<smbios::SmbiosSysfsStrategy>(tables.string()));
        smbios::SmbiosTable table(std::move(strategies), true);
        EXPECT_EQ(walk(table).count, dump.structureCount);
        smbios::SmbiosEntryPoint entryPoint{};
        table.copyEntryPoint(entryPoint);
        EXPECT_EQ(entryPoint.majorVersion, 3);
        EXPECT_EQ(table.structureCount(), 9999);
        fs::remove_all(tables);
    }
}

}  // namespace
