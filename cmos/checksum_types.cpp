#include "cmos/checksum_types.h"

#include <iterator>

namespace smbios {

namespace {

std::uint16_t wordSum(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint16_t>(sum + bytes[i]);
    return sum;
}

std::uint16_t byteSum(const std::uint8_t* bytes, std::size_t count) {
    return static_cast<std::uint8_t>(wordSum(bytes, count));
}

// Not the common CRC-16: each shifted-out 1 sets bit 15 before the XOR with
// 0xA001, which the firmware's checksum code does too.
std::uint16_t wordCrc(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (carry) crc = static_cast<std::uint16_t>((crc | 0x8000) ^ 0xA001);
        }
    }
    return crc;
}

std::uint16_t negatedWordSum(const std::uint8_t* bytes, std::size_t count) {
    return static_cast<std::uint16_t>(0x10000 - wordSum(bytes, count));
}

constexpr ChecksumKind kKinds[] = {
    {0, "Word Checksum", 2, wordSum, "word_chksum_type", "word checksum", "calc_word"},
    {1, "Byte Checksum", 1, byteSum, "byte_chksum_type", "byte checksum", "calc_byte"},
    {2, "Word CRC", 2, wordCrc, "word_crc_type", "word crc", "calc_crc"},
    {3, "One's Complement Word Checksum", 2, negatedWordSum, "word_chksum_n_type", "1's complement word checksum",
     "calc_word_n"},
};

}  // namespace

const ChecksumKind* checksumKindsBegin() { return std::begin(kKinds); }
const ChecksumKind* checksumKindsEnd() { return std::end(kKinds); }

const ChecksumKind* checksumKind(int code) {
    for (const ChecksumKind& kind : kKinds) {
        if (kind.code == code) return &kind;
    }
    return nullptr;
}

}  // namespace smbios
