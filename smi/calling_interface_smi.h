#ifndef VELMORA_SMI_CALLING_INTERFACE_SMI_H
#define VELMORA_SMI_CALLING_INTERFACE_SMI_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "layout/calling_interface_buffer.h"
#include "smi/smi.h"
#include "smi/smi_strategy.h"

namespace smi {

// A calling-interface request and the strategy that carries it out. The
// strategy receives one image: the 16-byte command header, the 36-byte
// calling-interface buffer, then the data buffer, which therefore starts 52
// bytes past the strategy's buffer base.
class QuorCallingInterfaceSmiImpl : public IQuorCallingInterfaceSmi {
public:
    static constexpr std::size_t kHeaderSize = layout::calling_interface_header::kSize;
    static constexpr std::size_t kCallingInterfaceSize = layout::calling_interface_buffer::kSize;
    static constexpr std::size_t kDataOffset = layout::kCallingInterfaceDataOffset;

    // Result 0 before the firmware touches the buffer; also the code the
    // firmware leaves for a call it did not handle.
    static constexpr std::uint32_t kUnhandled = 0xFFFFFFFD;
    static constexpr std::uint32_t kUnsupported = 0xFFFFFFFE;
    static constexpr std::uint32_t kExecutedWithError = 0xFFFFFFFF;

    explicit QuorCallingInterfaceSmiImpl(std::unique_ptr<SmiStrategy> strategy);
    ~QuorCallingInterfaceSmiImpl() override;
    QuorCallingInterfaceSmiImpl(const QuorCallingInterfaceSmiImpl&) = delete;
    QuorCallingInterfaceSmiImpl& operator=(const QuorCallingInterfaceSmiImpl&) = delete;

    int execute() override;
    std::uint8_t* getBufferPtr() override;
    void setBufferSize(std::size_t size) override;
    void setCommandIOMagic(std::uint16_t address, std::uint8_t code) override;

    void setClass(std::uint16_t cls) override;
    void setSelect(std::uint16_t select) override;
    void setArg(std::uint8_t index, std::uint32_t value) override;
    std::uint32_t getRes(std::uint8_t index) const override;
    void setArgAsPhysicalAddress(std::uint8_t index, std::uint32_t offset) override;

private:
    std::array<std::uint8_t, kCallingInterfaceSize> callingInterface_{};
    std::array<bool, 4> argIsAddress_{};
    std::array<std::uint32_t, 4> addressOffset_{};
    std::array<std::uint8_t, kHeaderSize> header_{};
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t dataSize_ = 0;
    std::unique_ptr<SmiStrategy> strategy_;
};

}  // namespace smi

#endif
