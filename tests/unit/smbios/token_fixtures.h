#ifndef VELMORA_TESTS_UNIT_SMBIOS_TOKEN_FIXTURES_H
#define VELMORA_TESTS_UNIT_SMBIOS_TOKEN_FIXTURES_H

// Token structures as firmware lays them out, and the CMOS image the token
// tests use.

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
#include "tests/unit/support/cmos_image.h"

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

// Token tests take a 64 KiB image behind the CMOS factory:
// `CmosImage cmos = CmosImage::inFactory();`.
using test_support::CmosImage;

}  // namespace token_test

#endif
