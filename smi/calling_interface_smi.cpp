#include "smi/calling_interface_smi.h"

#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"

namespace smi {

namespace {

// Offsets in the calling-interface buffer.
constexpr std::size_t kClassAt = 0;
constexpr std::size_t kSelectAt = 2;
constexpr std::size_t kArgsAt = 4;
constexpr std::size_t kResultsAt = 20;

// Offsets in the command header.
constexpr std::size_t kCommandAddressAt = 12;
constexpr std::size_t kCommandCodeAt = 14;

void put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void checkArgIndex(std::uint8_t index) {
    if (index > 3) throw ParameterErrorImpl("Internal programming error. Argument must be in range 0..3");
}

}  // namespace

QuorCallingInterfaceSmiImpl::QuorCallingInterfaceSmiImpl(std::unique_ptr<SmiStrategy> strategy)
    : strategy_(std::move(strategy)) {
    if (!strategy_) throw smbios::InternalErrorImpl("Internal error. SMI object made without a strategy.");
    setField32(kResultsAt, kUnhandled);
    put32(header_.data() + 0, 0x534D4931);
    put32(header_.data() + 8, 0x42534931);
}

QuorCallingInterfaceSmiImpl::~QuorCallingInterfaceSmiImpl() = default;

std::uint32_t QuorCallingInterfaceSmiImpl::field32(std::size_t offset) const {
    const std::uint8_t* at = callingInterface_.data() + offset;
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void QuorCallingInterfaceSmiImpl::setField32(std::size_t offset, std::uint32_t value) {
    put32(callingInterface_.data() + offset, value);
}

int QuorCallingInterfaceSmiImpl::execute() {
    strategy_->lock();
    strategy_->setSize(kDataOffset + dataSize_);
    const std::uint32_t base = strategy_->getPhysicalBufferBaseAddress();
    for (std::uint8_t i = 0; i < 4; ++i) {
        // 32-bit addresses: the sum wraps as the firmware would see it.
        if (argIsAddress_[i]) setArg(i, base + static_cast<std::uint32_t>(kDataOffset) + addressOffset_[i]);
    }
    strategy_->addInputBuffer(header_.data(), header_.size());
    strategy_->addInputBuffer(callingInterface_.data(), callingInterface_.size());
    if (dataSize_ > 0) strategy_->addInputBuffer(data_.get(), dataSize_);
    strategy_->execute();
    strategy_->getResultBuffer(header_.data(), header_.size());
    strategy_->getResultBuffer(callingInterface_.data(), callingInterface_.size());
    if (dataSize_ > 0) strategy_->getResultBuffer(data_.get(), dataSize_);
    const int finished = strategy_->finish();

    switch (getRes(0)) {
    case kUnhandled:
        throw UnhandledSmiImpl("Unhandled SMI call.");
    case kUnsupported:
        throw UnsupportedSmiImpl("Unsupported SMI call.");
    case kExecutedWithError:
        throw SmiExecutedWithErrorImpl("BIOS returned error for SMI call.");
    default:
        return finished;
    }
}

std::uint8_t* QuorCallingInterfaceSmiImpl::getBufferPtr() { return data_.get(); }

void QuorCallingInterfaceSmiImpl::setBufferSize(std::size_t size) {
    if (size == dataSize_) return;
    data_.reset();
    dataSize_ = 0;
    if (size > 0) data_.reset(new std::uint8_t[size]());
    dataSize_ = size;
}

void QuorCallingInterfaceSmiImpl::setCommandIOMagic(std::uint16_t address, std::uint8_t code) {
    put16(header_.data() + kCommandAddressAt, address);
    header_[kCommandCodeAt] = code;
}

void QuorCallingInterfaceSmiImpl::setClass(std::uint16_t cls) { put16(callingInterface_.data() + kClassAt, cls); }

void QuorCallingInterfaceSmiImpl::setSelect(std::uint16_t select) {
    put16(callingInterface_.data() + kSelectAt, select);
}

void QuorCallingInterfaceSmiImpl::setArg(std::uint8_t index, std::uint32_t value) {
    checkArgIndex(index);
    setField32(kArgsAt + 4u * index, value);
}

std::uint32_t QuorCallingInterfaceSmiImpl::getRes(std::uint8_t index) const {
    if (index > 3) throw ParameterErrorImpl("Internal programming error. Result request must be in range 0..3");
    return field32(kResultsAt + 4u * index);
}

void QuorCallingInterfaceSmiImpl::setArgAsPhysicalAddress(std::uint8_t index, std::uint32_t offset) {
    checkArgIndex(index);
    argIsAddress_[index] = true;
    addressOffset_[index] = offset;
}

ISmi::~ISmi() = default;

}  // namespace smi
