#include "smi/smi_arch_message.h"
#include "smi/smi_strategy.h"
#include "smbios/smbios_exceptions.h"

namespace smi {

namespace {

[[noreturn]] void unavailable() { throw smbios::NotImplementedImpl(smiArchUnavailableMessage()); }

}  // namespace

SmiStrategy::~SmiStrategy() = default;

SmiArchStrategy::~SmiArchStrategy() = default;
void SmiArchStrategy::lock() { unavailable(); }
void SmiArchStrategy::setSize(std::size_t) { unavailable(); }
std::uint32_t SmiArchStrategy::getPhysicalBufferBaseAddress() { unavailable(); }
void SmiArchStrategy::addInputBuffer(const std::uint8_t*, std::size_t) { unavailable(); }
void SmiArchStrategy::execute() { unavailable(); }
void SmiArchStrategy::getResultBuffer(std::uint8_t*, std::size_t) { unavailable(); }
int SmiArchStrategy::finish() { unavailable(); }

}  // namespace smi
