#ifndef VELMORA_CMOS_CHECKSUM_TYPES_H
#define VELMORA_CMOS_CHECKSUM_TYPES_H

#include <cstddef>
#include <cstdint>

namespace smbios {

// What is known about one checksum type code of the CMOS token structures:
// everything that differs between the types lives in its row.
struct ChecksumKind {
    int code;
    // As the messages name it ("Word CRC").
    const char* name;
    // Bytes the stored checksum takes, high byte first.
    int width;
    // The value that belongs in the checksum's location for `count` bytes.
    std::uint16_t (*compute)(const std::uint8_t* bytes, std::size_t count);
    // The placeholder of the type's code in the mismatch message, and the
    // type and its result as the message's list of alternate results has them.
    const char* typeParameter;
    const char* alternateName;
    const char* resultParameter;
};

// Every known type, in the order of their codes.
const ChecksumKind* checksumKindsBegin();
const ChecksumKind* checksumKindsEnd();

// The row of `code`, or null for a code that is not a known checksum type.
const ChecksumKind* checksumKind(int code);

}  // namespace smbios

#endif
