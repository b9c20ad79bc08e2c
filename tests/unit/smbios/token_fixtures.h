#ifndef VELMORA_TESTS_UNIT_SMBIOS_TOKEN_FIXTURES_H
#define VELMORA_TESTS_UNIT_SMBIOS_TOKEN_FIXTURES_H

// Token structures as firmware lays them out, a CMOS image file behind the
// CMOS factory, and the order in which the factories are reset (the token
// table before the CMOS accessor it holds).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cmos/cmos_rw_factory.h"
#include "smbios/token_table_factory.h"
#include "smi/smi_factory.h"
#include "tests/unit/smbios/smbios_fixtures.h"
#include "tests/unit/smi/smi_fixtures.h"

namespace token_test {

using smbios_test::Bytes;
using smi_test::put16;

struct D4Entry {
    std::uint16_t id;
    std::uint8_t location;
    std::uint8_t andMask;
    std::uint8_t orMask;
};

struct ChecksumDeclaration {
    std::uint8_t type = 0;
    std::uint8_t start = 0;
    std::uint8_t end = 0;
    std::uint8_t location = 0;
};

// A CMOS token structure (type 0xD4) with its entries and, unless
// `terminated` is false, the closing 0xFFFF entry.
inline Bytes cmosTokenStructure(std::uint16_t handle, std::uint16_t indexPort, std::uint16_t dataPort,
                                ChecksumDeclaration checksum, const std::vector<D4Entry>& entries,
                                bool terminated = true) {
    Bytes formatted;
    put16(formatted, indexPort);
    put16(formatted, dataPort);
    formatted.insert(formatted.end(), {checksum.type, checksum.start, checksum.end, checksum.location});
    for (const D4Entry& entry : entries) {
        put16(formatted, entry.id);
        formatted.insert(formatted.end(), {entry.location, entry.andMask, entry.orMask});
    }
    if (terminated) formatted.insert(formatted.end(), {0xFF, 0xFF, 0, 0, 0});
    return smbios_test::structure(0xD4, handle, formatted);
}

struct ProtectedString {
    std::uint8_t type = 0xD5;
    std::uint16_t handle = 0xD500;
    std::uint16_t id = 0;
    std::uint8_t length = 0;
    std::uint8_t passwordProperty = 0;
    std::uint16_t encoding = 0;
    std::uint16_t indexPort = 0x70;
    std::uint16_t dataPort = 0x71;
    std::uint8_t checksumType = 1;
    std::uint8_t location = 0;
    std::uint8_t checksumLocation = 0;
    ChecksumDeclaration second;  // 0xD6 only
};

// A protected string structure, type 0xD5 or (with the second checksum) 0xD6.
inline Bytes protectedStringStructure(const ProtectedString& s) {
    Bytes formatted;
    put16(formatted, s.id);
    formatted.insert(formatted.end(), {s.length, s.passwordProperty});
    put16(formatted, s.encoding);
    put16(formatted, s.indexPort);
    put16(formatted, s.dataPort);
    formatted.insert(formatted.end(), {s.checksumType, s.location, s.checksumLocation});
    if (s.type == 0xD6) {
        formatted.insert(formatted.end(), {s.second.type, s.second.start, s.second.end, s.second.location});
    }
    return smbios_test::structure(s.type, s.handle, formatted);
}

// A 64 KiB CMOS image (one 256-byte page per index port) in a temporary
// file, behind the CMOS factory in UnitTestMode; the SMI factory gets a
// scratch file too. Both factories and the token table factory are reset
// afterwards, the token table first.
class CmosImage {
public:
    explicit CmosImage(std::uint8_t fill = 0) : path_(smbios_test::uniqueTempPath("cmos") += ".bin") {
        resetFactories();
        write(Bytes(0x10000, fill));
        cmos::CmosRWFactory::getFactory()->setMode(factory::UnitTestMode);
        cmos::CmosRWFactory::getFactory()->setParameter("cmosMapFile", path_.string());
    }
    ~CmosImage() {
        resetFactories();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    CmosImage(const CmosImage&) = delete;
    CmosImage& operator=(const CmosImage&) = delete;

    static void resetFactories() {
        smbios::TokenTableFactory::getFactory()->reset();
        cmos::CmosRWFactory::getFactory()->reset();
    }

    void write(const Bytes& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    Bytes bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Sets bytes of the page of `indexPort` from `offset`.
    void set(std::uint16_t indexPort, std::uint8_t offset, const Bytes& values) {
        Bytes all = bytes();
        for (std::size_t i = 0; i < values.size(); ++i) all.at(indexPort * 256u + offset + i) = values[i];
        write(all);
    }
    std::uint8_t at(std::uint16_t indexPort, unsigned offset) const { return bytes().at(indexPort * 256u + offset); }

private:
    std::filesystem::path path_;
};

}  // namespace token_test

#endif
