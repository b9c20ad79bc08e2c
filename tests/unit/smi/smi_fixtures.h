#ifndef VELMORA_TESTS_UNIT_SMI_SMI_FIXTURES_H
#define VELMORA_TESTS_UNIT_SMI_SMI_FIXTURES_H

// A scripted firmware behind the SMI factory, and a process-wide SMBIOS table
// built from bytes the test gives, so calling-interface calls can be run and
// checked without hardware.

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "factory/tfactory.h"
#include "layout/calling_interface_buffer.h"
#include "layout/calling_interface_structure.h"
#include "layout/little_endian.h"
#include "smbios/smbios_factory.h"
#include "smi/calling_interface_smi.h"
#include "smi/smi_factory.h"
#include "tests/unit/smbios/smbios_fixtures.h"
#include "tests/unit/support/scoped_factory.h"

namespace smi_test {

using smbios_test::Bytes;

struct DaEntry {
    std::uint16_t id;
    std::uint16_t location;
    std::uint16_t value;
};

// A calling-interface token structure (type 0xDA): command port and code, four
// reserved bytes, the entries and, unless `terminated` is false, the closing
// 0xFFFF entry.
inline Bytes callingInterfaceStructure(std::uint16_t handle, std::uint16_t address, std::uint8_t code,
                                       const std::vector<DaEntry>& entries, bool terminated = true) {
    namespace da = layout::calling_interface_structure;
    Bytes whole(da::kFirstEntry + (entries.size() + (terminated ? 1 : 0)) * da::kEntrySize);
    layout::write16(whole, da::kCommandAddress, address);
    whole[da::kCommandCode] = code;
    whole[da::kCommandHeaderLength] = 0x0F;  // the reserved bytes up to the first entry, as firmware has them
    std::size_t at = da::kFirstEntry;
    for (const DaEntry& entry : entries) {
        layout::write16(whole, at + da::kEntryId, entry.id);
        layout::write16(whole, at + da::kEntryLocation, entry.location);
        layout::write16(whole, at + da::kEntryValue, entry.value);
        at += da::kEntrySize;
    }
    if (terminated) layout::write16(whole, at + da::kEntryId, layout::kEndOfTokenEntries);
    return smbios_test::laidOut(da::kType, handle, whole);
}

// SmbiosFactory whose table is built from `bytes` (set before first use).
class GivenSmbiosFactory : public factory::TFactory<smbios::SmbiosFactory> {
public:
    ~GivenSmbiosFactory() override { delete singleton_; }
    smbios::ISmbiosTable* getSingleton() override {
        if (singleton_ == nullptr) singleton_ = makeNew();
        return singleton_;
    }
    smbios::ISmbiosTable* makeNew() override { return smbios_test::tableOf(bytes).release(); }

    static inline Bytes bytes;

private:
    smbios::ISmbiosTable* singleton_ = nullptr;
};

// Installs GivenSmbiosFactory over `table` for the life of the object.
class GivenSmbiosTable {
public:
    explicit GivenSmbiosTable(const Bytes& table) { GivenSmbiosFactory::bytes = table; }

private:
    test_support::ScopedFactory<smbios::SmbiosFactory, GivenSmbiosFactory> factory_;
};

// One call as the firmware sees it; the handler fills `results` (result 0
// arrives as sent: 0xFFFFFFFD, "unhandled") and may change `data`.
struct FirmwareCall {
    std::uint16_t commandAddress = 0;
    std::uint8_t commandCode = 0;
    std::uint8_t padding = 0;
    std::uint16_t cls = 0;
    std::uint16_t select = 0;
    std::array<std::uint32_t, 4> args{};
    std::array<std::uint32_t, 4> results{};
    Bytes data;
};

// The scripted firmware: a handler, and every call it was given, in order.
struct ScriptedFirmware {
    static constexpr std::uint32_t kBase = 0x00100000;
    static inline std::function<void(FirmwareCall&)> handler;
    static inline std::vector<FirmwareCall> calls;
};

class ScriptedStrategy : public smi::SmiStrategy {
public:
    // Each execution of a call starts here; a call may be executed again.
    void lock() override {
        image_.clear();
        readAt_ = 0;
    }
    void setSize(std::size_t size) override { size_ = size; }
    std::uint32_t getPhysicalBufferBaseAddress() override { return ScriptedFirmware::kBase; }
    void addInputBuffer(const std::uint8_t* bytes, std::size_t size) override {
        image_.insert(image_.end(), bytes, bytes + size);
    }
    void execute() override {
        namespace header = layout::calling_interface_header;
        namespace buffer = layout::calling_interface_buffer;
        constexpr std::size_t kData = layout::kCallingInterfaceDataOffset;
        constexpr std::size_t kPaddingAt = header::kCommandCode + 1;
        if (image_.size() != size_ || size_ < kData) throw std::logic_error("image does not match the announced size");
        const auto valueAt = [](std::size_t first, int index) { return header::kSize + first + 4 * index; };
        FirmwareCall call;
        call.commandAddress = layout::read16(image_, header::kCommandAddress);
        call.commandCode = image_[header::kCommandCode];
        call.padding = image_[kPaddingAt];
        call.cls = layout::read16(image_, header::kSize + buffer::kClass);
        call.select = layout::read16(image_, header::kSize + buffer::kSelect);
        for (int i = 0; i < 4; ++i) call.args[i] = layout::read32(image_, valueAt(buffer::kArgs, i));
        for (int i = 0; i < 4; ++i) call.results[i] = layout::read32(image_, valueAt(buffer::kResults, i));
        call.data.assign(image_.begin() + kData, image_.end());
        if (ScriptedFirmware::handler) ScriptedFirmware::handler(call);
        ScriptedFirmware::calls.push_back(call);
        for (int i = 0; i < 4; ++i) layout::write32(image_, valueAt(buffer::kResults, i), call.results[i]);
        std::copy(call.data.begin(), call.data.end(), image_.begin() + kData);
    }
    void getResultBuffer(std::uint8_t* bytes, std::size_t size) override {
        std::memcpy(bytes, image_.data() + readAt_, size);
        readAt_ += size;
    }
    int finish() override { return 7; }

private:
    std::size_t size_ = 0;
    std::size_t readAt_ = 0;
    Bytes image_;
};

class ScriptedSmiFactory : public factory::TFactory<smi::SmiFactory> {
public:
    smi::ISmi* makeNew(int) override {
        return new smi::QuorCallingInterfaceSmiImpl(std::make_unique<ScriptedStrategy>());
    }
};

// Installs the scripted firmware behind SmiFactory for the life of the object.
class ScriptedSmi {
public:
    explicit ScriptedSmi(std::function<void(FirmwareCall&)> handler = nullptr) {
        ScriptedFirmware::handler = std::move(handler);
        ScriptedFirmware::calls.clear();
    }
    ~ScriptedSmi() { ScriptedFirmware::handler = nullptr; }
    ScriptedSmi(const ScriptedSmi&) = delete;
    ScriptedSmi& operator=(const ScriptedSmi&) = delete;

    const std::vector<FirmwareCall>& calls() const { return ScriptedFirmware::calls; }

private:
    test_support::ScopedFactory<smi::SmiFactory, ScriptedSmiFactory> factory_;
};

}  // namespace smi_test

#endif
