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
#include "layout/cmos_token_structures.h"
#include "layout/little_endian.h"
#include "smbios/token_table_factory.h"
#include "smi/smi_factory.h"
#include "tests/unit/smbios/smbios_fixtures.h"
#include "tests/unit/smi/smi_fixtures.h"
#include "tests/unit/support/cmos_image.h"

namespace token_test {

using smbios_test::Bytes;

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

// Where a structure keeps the four bytes of a checksum declaration.
struct ChecksumOffsets {
    std::size_t type, start, end, location;
};

inline void putChecksum(Bytes& whole, const ChecksumOffsets& at, const ChecksumDeclaration& checksum) {
    whole.at(at.type) = checksum.type;
    whole.at(at.start) = checksum.start;
    whole.at(at.end) = checksum.end;
    whole.at(at.location) = checksum.location;
}

// A CMOS token structure (type 0xD4) with its entries and, unless
// `terminated` is false, the closing 0xFFFF entry.
inline Bytes cmosTokenStructure(std::uint16_t handle, std::uint16_t indexPort, std::uint16_t dataPort,
                                ChecksumDeclaration checksum, const std::vector<D4Entry>& entries,
                                bool terminated = true) {
    namespace d4 = layout::cmos_token_structure;
    Bytes whole(d4::kFirstEntry + (entries.size() + (terminated ? 1 : 0)) * d4::kEntrySize);
    layout::write16(whole, d4::kIndexPort, indexPort);
    layout::write16(whole, d4::kDataPort, dataPort);
    putChecksum(whole, {d4::kChecksumType, d4::kChecksumStart, d4::kChecksumEnd, d4::kChecksumLocation}, checksum);
    std::size_t at = d4::kFirstEntry;
    for (const D4Entry& entry : entries) {
        layout::write16(whole, at + d4::kEntryId, entry.id);
        whole[at + d4::kEntryLocation] = entry.location;
        whole[at + d4::kEntryAndMask] = entry.andMask;
        whole[at + d4::kEntryOrMask] = entry.orMask;
        at += d4::kEntrySize;
    }
    if (terminated) layout::write16(whole, at + d4::kEntryId, layout::kEndOfTokenEntries);
    return smbios_test::laidOut(d4::kType, handle, whole);
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
    namespace d5 = layout::protected_string_structure;
    namespace d6 = layout::protected_string_with_checksum_structure;
    const bool withSecond = s.type == d6::kType;
    Bytes whole(withSecond ? d6::kLength : d5::kLength);
    layout::write16(whole, d5::kTokenId, s.id);
    whole[d5::kStringLength] = s.length;
    whole[d5::kPasswordProperty] = s.passwordProperty;
    layout::write16(whole, d5::kEncoding, s.encoding);
    layout::write16(whole, d5::kIndexPort, s.indexPort);
    layout::write16(whole, d5::kDataPort, s.dataPort);
    whole[d5::kChecksumType] = s.checksumType;
    whole[d5::kLocation] = s.location;
    whole[d5::kChecksumLocation] = s.checksumLocation;
    if (withSecond) {
        putChecksum(whole, {d6::kChecksumType, d6::kChecksumStart, d6::kChecksumEnd, d6::kChecksumLocation}, s.second);
    }
    return smbios_test::laidOut(s.type, s.handle, whole);
}

// Token tests take a 64 KiB image behind the CMOS factory:
// `CmosImage cmos = CmosImage::inFactory();`.
using test_support::CmosImage;

}  // namespace token_test

#endif
