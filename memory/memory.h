#ifndef VELMORA_MEMORY_MEMORY_H
#define VELMORA_MEMORY_MEMORY_H

#include <cstdint>

namespace memory {

// Byte-addressed access to physical memory, or to a file holding an image of
// it. Failures are thrown as memory::AccessError, memory::OutOfBounds or
// smbios::NotImplemented: the hardware layer's error vocabulary, declared in
// smbios/memory_exceptions.h and smbios/smbios_exceptions.h (a leaf; see
// smbios/exception.h). An accessor owns what it opened: it is not copied.
class IMemory {
public:
    IMemory() = default;
    IMemory(const IMemory&) = delete;
    IMemory& operator=(const IMemory&) = delete;
    virtual ~IMemory();
    virtual std::uint8_t readByte(std::uint64_t offset) = 0;
    virtual void writeByte(std::uint64_t offset, std::uint8_t value) = 0;
    // Fills `buffer` with `length` bytes starting at `offset`.
    virtual void readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) = 0;
};

// The declarations of every IMemory operation, for its implementations.
#define VELMORA_MEMORY_OVERRIDES                                     \
  std::uint8_t readByte(std::uint64_t offset) override;              \
  void writeByte(std::uint64_t offset, std::uint8_t value) override; \
  void readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) override;

}  // namespace memory

#endif
