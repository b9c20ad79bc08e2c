#include "smi/calling_interface_smi.h"

#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"

namespace smi {

namespace {

namespace header = layout::calling_interface_header;
namespace buffer = layout::calling_interface_buffer;

constexpr std::size_t argAt(std::uint8_t index) { return buffer::kArgs + buffer::kValueSize * index; }
constexpr std::size_t resultAt(std::uint8_t index) { return buffer::kResults + buffer::kValueSize * index; }

void checkArgIndex(std::uint8_t index) {
    if (index > 3) throw ParameterErrorImpl("Internal programming error. Argument must be in range 0..3");
}

}  // namespace

QuorCallingInterfaceSmiImpl::QuorCallingInterfaceSmiImpl(std::unique_ptr<SmiStrategy> strategy)
    : strategy_(std::move(strategy)) {
    if (!strategy_) throw smbios::InternalErrorImpl("Internal error. SMI object made without a strategy.");
    layout::write32(callingInterface_, resultAt(0), kUnhandled);
    layout::write32(header_, header::kMagic, header::kMagicValue);
    layout::write32(header_, header::kSecondMagic, header::kSecondMagicValue);
}

QuorCallingInterfaceSmiImpl::~QuorCallingInterfaceSmiImpl() = default;

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
    layout::write16(header_, header::kCommandAddress, address);
    header_[header::kCommandCode] = code;
}

void QuorCallingInterfaceSmiImpl::setClass(std::uint16_t cls) {
    layout::write16(callingInterface_, buffer::kClass, cls);
}

void QuorCallingInterfaceSmiImpl::setSelect(std::uint16_t select) {
    layout::write16(callingInterface_, buffer::kSelect, select);
}

void QuorCallingInterfaceSmiImpl::setArg(std::uint8_t index, std::uint32_t value) {
    checkArgIndex(index);
    layout::write32(callingInterface_, argAt(index), value);
}

std::uint32_t QuorCallingInterfaceSmiImpl::getRes(std::uint8_t index) const {
    if (index > 3) throw ParameterErrorImpl("Internal programming error. Result request must be in range 0..3");
    return layout::read32(callingInterface_, resultAt(index));
}

void QuorCallingInterfaceSmiImpl::setArgAsPhysicalAddress(std::uint8_t index, std::uint32_t offset) {
    checkArgIndex(index);
    argIsAddress_[index] = true;
    addressOffset_[index] = offset;
}

ISmi::~ISmi() = default;

}  // namespace smi
