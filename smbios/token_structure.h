#ifndef VELMORA_SMBIOS_TOKEN_STRUCTURE_H
#define VELMORA_SMBIOS_TOKEN_STRUCTURE_H

// Field access shared by the token classes. Token structures come from
// firmware and other makers use the same type numbers for other layouts, so
// every field is read from the formatted area only, and a field the
// structure is too short to hold reads as zero.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ios>
#include <ostream>

#include "smbios/smbios_item.h"

namespace smbios {
namespace token_detail {

// The first N bytes of the formatted area; zeros beyond its length.
template <std::size_t N>
std::array<std::uint8_t, N> leadingBytes(const ISmbiosItem& item) {
    std::array<std::uint8_t, N> bytes{};
    const std::size_t available = std::min<std::size_t>(N, item.length());
    if (available > 0) item.readData(0, bytes.data(), available);
    return bytes;
}

template <std::size_t N>
std::uint16_t word(const std::array<std::uint8_t, N>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// Entry `index` of `entrySize` bytes from `firstEntry`, when it lies wholly
// inside the formatted area; false otherwise.
inline bool readEntry(const ISmbiosItem& item, unsigned firstEntry, unsigned entrySize, unsigned index,
                      std::uint8_t* out) {
    const unsigned long long start = firstEntry + static_cast<unsigned long long>(entrySize) * index;
    if (start + entrySize > item.length()) return false;
    item.readData(static_cast<unsigned>(start), out, entrySize);
    return true;
}

// Restores a stream's format flags when a printed form is done or fails half way.
class FlagsSaver {
public:
    explicit FlagsSaver(std::ostream& stream) : stream_(stream), flags_(stream.flags()) {}
    ~FlagsSaver() { stream_.flags(flags_); }
    FlagsSaver(const FlagsSaver&) = delete;
    FlagsSaver& operator=(const FlagsSaver&) = delete;

private:
    std::ostream& stream_;
    std::ios_base::fmtflags flags_;
};

}  // namespace token_detail
}  // namespace smbios

#endif
