// Fuzz target: an arbitrary byte string taken as an SMBIOS structure table,
// turned into a token table over an in-memory CMOS. Every token is printed,
// its string read and, for CMOS tokens, written back and activated, so the
// checksum observers run as well; AddressSanitizer watches that nothing is
// read outside a buffer. Calling-interface calls go to the platform's SMI
// path, which refuses them. The first input byte chooses how much of the
// table its declared length cuts off.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "cmos/cmos_rw.h"
#include "cmos/cmos_rw_factory.h"
#include "factory/tfactory.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"
#include "smbios/token_table.h"

namespace {

class FuzzInputStrategy : public smbios::SmbiosStrategy {
public:
    FuzzInputStrategy(const std::uint8_t* data, std::size_t size, std::size_t declared)
        : data_(data), size_(size), declared_(declared) {}
    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) override {
        // An exactly sized heap copy, so a read one byte past it is caught.
        table.data.reset(new std::uint8_t[size_ > 0 ? size_ : 1]);
        if (size_ > 0) std::memcpy(table.data.get(), data_, size_);
        table.size = size_;
        entryPoint.tableLength = static_cast<std::uint16_t>(declared_);
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t declared_;
};

// 256 pages of 256 bytes, one per index port value, as the CMOS image file
// lays them out; offsets past a page wrap inside the whole image.
class MemoryCmos : public cmos::ICmosRW, public cmos::Suppressable {
public:
    MemoryCmos() : bytes_(0x10000, 0x5A) {}
    std::uint8_t readByte(std::uint32_t indexPort, std::uint32_t, std::uint32_t offset) override {
        return bytes_[(indexPort * 256u + offset) & 0xFFFFu];
    }
    void writeByte(std::uint32_t indexPort, std::uint32_t, std::uint32_t offset, std::uint8_t value) override {
        bytes_[(indexPort * 256u + offset) & 0xFFFFu] = value;
        if (!isSuppressed()) notify(nullptr);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

class MemoryCmosFactory : public factory::TFactory<cmos::CmosRWFactory> {
public:
    cmos::ICmosRW* getSingleton() override {
        if (!product_) product_.reset(makeNew());
        return product_.get();
    }
    cmos::ICmosRW* makeNew() override { return new MemoryCmos(); }

private:
    std::unique_ptr<cmos::ICmosRW> product_;
};

constexpr std::size_t kMaxObserversForWrites = 16;

void exercise(const smbios::IToken& token, bool write) {
    try {
        std::ostringstream printed;
        printed << token;
    } catch (const smbios::IException&) {
    }
    if (token.getTokenClass() == "TokenDA") return;
    try {
        if (token.isString()) {
            std::vector<std::uint8_t> buffer(token.getStringLength() + 1);
            token.getString(buffer.data(), static_cast<unsigned>(buffer.size()));
            if (write) token.setString(buffer.data(), buffer.size());
        } else {
            if (write) token.activate();
            (void)token.isActive();
        }
    } catch (const smbios::IException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t delivered = size - 1;
    const std::size_t cut = data[0] < 0x80 ? 0 : data[0] - 0x80u;
    const std::size_t declared = delivered > cut ? delivered - cut : 0;

    cmos::CmosRWFactory::getFactory()->reset();
    factory::TFactory<cmos::CmosRWFactory>::instance<MemoryCmosFactory>();
    {
        smbios::SmbiosTable::StrategyList strategies;
        strategies.push_back(
            std::make_unique<FuzzInputStrategy>(data + 1, delivered, declared > 0xFFFF ? 0xFFFF : declared));
        smbios::SmbiosTable table(std::move(strategies), false);
        table.installWorkarounds();
        smbios::TokenTable tokens(table);
        // Every write still tells every observer; their number is kept small
        // so that one input with thousands of tokens stays quick.
        const bool write = tokens.observerCount() <= kMaxObserversForWrites;
        for (const smbios::IToken& token : tokens) exercise(token, write);
        auto none = tokens[0xFFFF];
        (void)none;
    }
    cmos::CmosRWFactory::getFactory()->reset();
    return 0;
}
