#ifndef VELMORA_TESTS_UNIT_SMBIOS_VECTOR_MEMORY_H
#define VELMORA_TESTS_UNIT_SMBIOS_VECTOR_MEMORY_H

// A memory factory over bytes held in the test, counting the reads, installed
// as the process-wide memory factory for the life of the object.

#include <cstring>
#include <vector>

#include "factory/tfactory.h"
#include "memory/memory_factory.h"
#include "smbios/memory_exceptions.h"
#include "tests/unit/support/scoped_factory.h"

namespace smbios_test {

class VectorMemory : public memory::IMemory {
public:
    explicit VectorMemory(std::vector<std::uint8_t>& bytes, int& reads) : bytes_(bytes), reads_(reads) {}
    std::uint8_t readByte(std::uint64_t offset) override {
        std::uint8_t value = 0;
        readBlock(&value, offset, 1);
        return value;
    }
    void writeByte(std::uint64_t offset, std::uint8_t value) override { bytes_.at(offset) = value; }
    void readBlock(std::uint8_t* buffer, std::uint64_t offset, std::uint32_t length) override {
        ++reads_;
        if (offset + length > bytes_.size()) throw memory::AccessErrorImpl("read past the test memory");
        std::memcpy(buffer, bytes_.data() + offset, length);
    }

private:
    std::vector<std::uint8_t>& bytes_;
    int& reads_;
};

class VectorMemoryFactory : public factory::TFactory<memory::MemoryFactory> {
public:
    memory::IMemory* getSingleton() override {
        if (!product_) product_.reset(makeNew());
        return product_.get();
    }
    memory::IMemory* makeNew() override { return new VectorMemory(bytes, reads); }

    static std::vector<std::uint8_t> bytes;
    static int reads;

private:
    std::unique_ptr<memory::IMemory> product_;
};

inline std::vector<std::uint8_t> VectorMemoryFactory::bytes;
inline int VectorMemoryFactory::reads = 0;

// Installs a VectorMemoryFactory over 1 MiB of `fill` for the life of the object.
class VectorMemoryScope {
public:
    explicit VectorMemoryScope(std::uint8_t fill = 0x5A) {
        VectorMemoryFactory::bytes.assign(0x100000, fill);
        VectorMemoryFactory::reads = 0;
    }

    void place(std::uint32_t address, const std::vector<std::uint8_t>& data) {
        std::memcpy(VectorMemoryFactory::bytes.data() + address, data.data(), data.size());
    }
    int reads() const { return VectorMemoryFactory::reads; }

private:
    test_support::ScopedFactory<memory::MemoryFactory, VectorMemoryFactory> factory_;
};

}  // namespace smbios_test

#endif
