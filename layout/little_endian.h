#ifndef VELMORA_LAYOUT_LITTLE_ENDIAN_H
#define VELMORA_LAYOUT_LITTLE_ENDIAN_H

// Little-endian fields of byte buffers: firmware structures, dump files,
// CMOS images, the controller's command block. Every access is checked
// against the buffer's size. A field that runs past the end of what was read
// reads as zero in its missing bytes (firmware structures are often shorter
// than their layout); a write that does not fit is a programming error and
// writes nothing.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>

namespace layout {

// The `width`-byte value (at most 8) at `offset` of the `size` bytes at `bytes`.
inline std::uint64_t readLittleEndian(const std::uint8_t* bytes, std::size_t size, std::size_t offset, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = width; i-- > 0;) {
        const bool inside = offset < size && i < size - offset;
        value = value << 8 | (inside ? bytes[offset + i] : 0u);
    }
    return value;
}

inline std::uint16_t read16(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    return static_cast<std::uint16_t>(readLittleEndian(bytes, size, offset, 2));
}

inline std::uint32_t read32(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    return static_cast<std::uint32_t>(readLittleEndian(bytes, size, offset, 4));
}

inline std::uint64_t read64(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    return readLittleEndian(bytes, size, offset, 8);
}

// The same over a byte array, std::array or std::vector, whose size bounds the read.
template <class Bytes>
std::uint16_t read16(const Bytes& bytes, std::size_t offset) {
    return read16(std::data(bytes), std::size(bytes), offset);
}

template <class Bytes>
std::uint32_t read32(const Bytes& bytes, std::size_t offset) {
    return read32(std::data(bytes), std::size(bytes), offset);
}

template <class Bytes>
std::uint64_t read64(const Bytes& bytes, std::size_t offset) {
    return read64(std::data(bytes), std::size(bytes), offset);
}

// Stores the low `width` bytes (at most 8) of `value` at `offset`. Throws
// std::out_of_range, having written nothing, when they do not all fit.
inline void writeLittleEndian(std::uint8_t* bytes, std::size_t size, std::size_t offset, unsigned width,
                              std::uint64_t value) {
    if (width > 8 || offset > size || width > size - offset) {
        throw std::out_of_range("little-endian field outside its buffer");
    }
    for (unsigned i = 0; i < width; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <class Bytes>
void write16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    writeLittleEndian(std::data(bytes), std::size(bytes), offset, 2, value);
}

template <class Bytes>
void write32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    writeLittleEndian(std::data(bytes), std::size(bytes), offset, 4, value);
}

// The byte `index` (0 the lowest) of a value held in a wider integer, such as
// a calling-interface result that packs several byte fields.
constexpr std::uint8_t byteOf(std::uint64_t value, unsigned index) {
    return index < 8 ? static_cast<std::uint8_t>(value >> (8 * index)) : 0;
}

}  // namespace layout

#endif
