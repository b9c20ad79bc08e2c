// Fuzz target: the memory search for the entry point, and the table it names,
// over a memory image. The input (after two control bytes) lies at E0000h of
// 1 MiB of erased flash (0xFF), so it holds the candidates and, wherever
// their address fields point into it, the table. A table the input does not
// hold ends at its first structure: erased bytes close no string set, so an
// input costs its own size, not a walk of the 64 KiB a length field may
// name. Control byte: bit 0 strict validation; bit 1 look only at the
// address E0000h + 16 * (second byte); bit 2 let the memory end right behind
// the input, so the search reads candidate by candidate.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "factory/tfactory.h"
#include "fuzz/fuzz_walk.h"
#include "memory/memory_factory.h"
#include "smbios/memory_exceptions.h"
#include "smbios/smbios_table.h"

namespace {

constexpr std::uint32_t kImageAt = 0xE0000;
constexpr std::uint8_t kErased = 0xFF;

// 1 MiB of erased flash, kept between inputs: each input is copied in and
// erased again afterwards, so an input costs its own size, not a megabyte.
std::vector<std::uint8_t> image(0x100000, kErased);
// Where the memory ends for this input (the image's size, or right behind the input).
std::size_t memoryEnd = 0;

class ImageMemory : public memory::IMemory {
public:
    std::uint8_t readByte(std::uint64_t offset) override {
        std::uint8_t value = 0;
        readBlock(&value, offset, 1);
        return value;
    }
    void writeByte(std::uint64_t, std::uint8_t) override {}
    void readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) override {
        if (offset > memoryEnd || length > memoryEnd - offset)
            throw memory::AccessErrorImpl("Read error trying to read memory. OS Error: %(err)s");
        std::memcpy(buffer, image.data() + offset, length);
    }
};

class ImageMemoryFactory : public factory::TFactory<memory::MemoryFactory> {
public:
    memory::IMemory* getSingleton() override { return &memory_; }
    memory::IMemory* makeNew() override { return new ImageMemory(); }

private:
    ImageMemory memory_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t control = data[0];
    const std::uint32_t start = (control & 2) != 0 ? kImageAt + 16u * data[1] : 0;
    data += 2;
    size -= 2;
    if (size > 0x20000) size = 0x20000;

    if (size > 0) std::memcpy(image.data() + kImageAt, data, size);
    memoryEnd = (control & 4) != 0 ? kImageAt + size : image.size();

    memory::MemoryFactory::getFactory()->reset();
    factory::TFactory<memory::MemoryFactory>::instance<ImageMemoryFactory>();
    {
        smbios::SmbiosTable::StrategyList strategies;
        strategies.push_back(std::make_unique<smbios::SmbiosMemoryStrategy>(start));
        try {
            smbios::SmbiosTable table(std::move(strategies), (control & 1) != 0);
            table.installWorkarounds();
            fuzz::exerciseTable(table);
        } catch (const smbios::InternalError&) {
            // No entry point, or no table behind it: the search's only outcome
            // besides a table.
        }
    }
    memory::MemoryFactory::getFactory()->reset();
    std::memset(image.data() + kImageAt, kErased, size);
    return 0;
}
