#ifndef VELMORA_TESTS_UNIT_CMOS_MEMORY_CMOS_H
#define VELMORA_TESTS_UNIT_CMOS_MEMORY_CMOS_H

// CMOS held in memory, laid out as the image file is (one 256-byte page per
// index port value), with a write that can be made to fail once; and a CMOS
// factory handing it out, for tests that write many thousands of bytes.

#include <cstdint>
#include <memory>
#include <vector>

#include "cmos/cmos_rw.h"
#include "cmos/cmos_rw_factory.h"
#include "factory/tfactory.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/support/scoped_factory.h"

namespace cmos_test {

class MemoryCmos : public cmos::ICmosRW, public cmos::Suppressable {
public:
    explicit MemoryCmos(std::uint8_t fill = 0) : bytes(0x10000, fill) {}

    std::uint8_t readByte(std::uint32_t indexPort, std::uint32_t, std::uint32_t offset) override {
        ++reads;
        return bytes[(indexPort * 256u + offset) & 0xFFFFu];
    }
    void writeByte(std::uint32_t indexPort, std::uint32_t, std::uint32_t offset, std::uint8_t value) override {
        checkWrite(indexPort, offset, 1);
        if (failingWrite >= 0 && writes == failingWrite) {
            ++writes;
            failingWrite = -1;
            throw smbios::InternalErrorImpl("Internal Error: could not cmos file for writing.");
        }
        ++writes;
        bytes[(indexPort * 256u + offset) & 0xFFFFu] = value;
        byteWritten(indexPort, offset);
    }
    std::uint8_t& at(std::uint32_t indexPort, std::uint32_t offset) {
        return bytes[(indexPort * 256u + offset) & 0xFFFFu];
    }

    std::vector<std::uint8_t> bytes;
    long reads = 0;
    long writes = 0;
    // The number of the write (counted in `writes`) that fails, once; -1 for none.
    long failingWrite = -1;
};

// A CMOS factory that hands out the current MemoryCmos, not owned.
class MemoryCmosFactory : public factory::TFactory<cmos::CmosRWFactory> {
public:
    cmos::ICmosRW* getSingleton() override { return current(); }
    cmos::ICmosRW* makeNew() override { return current(); }
    static MemoryCmos*& current() {
        static MemoryCmos* cmos = nullptr;
        return cmos;
    }
};

// The CMOS factory hands out `cmos` for the life of the object.
class UsingMemoryCmos {
public:
    explicit UsingMemoryCmos(MemoryCmos& cmos) { MemoryCmosFactory::current() = &cmos; }
    ~UsingMemoryCmos() { MemoryCmosFactory::current() = nullptr; }
    UsingMemoryCmos(const UsingMemoryCmos&) = delete;
    UsingMemoryCmos& operator=(const UsingMemoryCmos&) = delete;

private:
    test_support::ScopedFactory<cmos::CmosRWFactory, MemoryCmosFactory> factory_;
};

}  // namespace cmos_test

#endif
