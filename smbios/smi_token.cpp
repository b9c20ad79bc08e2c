#include "smbios/smi_token.h"

#include <algorithm>
#include <iomanip>

#include "layout/little_endian.h"
#include "smbios/smi_exceptions.h"
#include "smi/calling_interface_calls.h"

namespace smbios {

namespace {

namespace da = layout::calling_interface_structure;

// Calling-interface class and select of token reads and writes.
constexpr std::uint16_t kReadTokenClass = 0;
constexpr std::uint16_t kWriteTokenClass = 1;
constexpr std::uint16_t kTokenSelect = 0;

}  // namespace

int executeWithPassword(smi::IQuorCallingInterfaceSmi& call, const std::string& password) {
    try {
        return call.execute();
    } catch (const smi::SmiExecutedWithError&) {
        call.setArg(2, smi::getAuthenticationKey(password));
        return call.execute();
    }
}

SmiTokenDA::SmiTokenDA(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize])
    : StructureToken(item, "TokenDA", layout::read16(entry, kEntrySize, da::kEntryId)),
      location_(layout::read16(entry, kEntrySize, da::kEntryLocation)),
      value_(layout::read16(entry, kEntrySize, da::kEntryValue)) {}

SmiTokenDA::~SmiTokenDA() = default;

bool SmiTokenDA::isBool() const { return true; }

unsigned int SmiTokenDA::getStringLength() const { return 2; }

bool SmiTokenDA::isActive() const {
    const std::uint32_t args[4] = {location_, 0, 0, 0};
    std::uint32_t results[4] = {};
    smi::doSimpleCallingInterfaceSmi(kReadTokenClass, kTokenSelect, args, results);
    return results[2] == value_;
}

void SmiTokenDA::activate() const { writeValue(value_); }

std::uint16_t SmiTokenDA::readValue() const {
    const std::uint32_t args[4] = {location_, 0, 0, 0};
    std::uint32_t results[4] = {};
    smi::doSimpleCallingInterfaceSmi(kReadTokenClass, kTokenSelect, args, results);
    return static_cast<std::uint16_t>(results[1]);
}

void SmiTokenDA::writeValue(std::uint16_t value) const {
    const std::uint32_t args[4] = {location_, value, 0, 0};
    std::unique_ptr<smi::IQuorCallingInterfaceSmi> call = smi::setupCallingInterfaceSmi(kWriteTokenClass, kTokenSelect,
                                                                                        args);
    executeWithPassword(*call, password_);
}

std::string SmiTokenDA::getString(std::uint8_t* buffer, unsigned int bufferSize) const {
    std::uint8_t bytes[3] = {};
    layout::write16(bytes, 0, readValue());
    if (buffer != nullptr && bufferSize > 1) {
        std::fill_n(buffer, bufferSize, 0);
        std::copy_n(bytes, 2, buffer);
    }
    return std::string(reinterpret_cast<const char*>(bytes));
}

void SmiTokenDA::setString(const std::uint8_t* bytes, std::size_t length) const {
    writeValue(bytes != nullptr ? layout::read16(bytes, length, 0) : 0);
}

void SmiTokenDA::getSmiDetails(std::uint16_t* commandAddress, std::uint8_t* commandCode, std::uint8_t* location) const {
    if (commandAddress != nullptr) *commandAddress = wordAt(da::kCommandAddress);
    if (commandCode != nullptr) *commandCode = byteAt(da::kCommandCode);
    if (location != nullptr) *location = static_cast<std::uint8_t>(location_);
}

bool SmiTokenDA::tryPassword(const std::string& password) {
    password_ = password;
    return true;
}

int SmiTokenDA::getPasswordProperty() const { return -1; }

void SmiTokenDA::printFields(std::ostream& stream) const {
    stream << "  CmdIO Port 0x" << std::setw(4) << wordAt(da::kCommandAddress);
    stream << "  CmdIO Code 0x" << std::setw(2) << static_cast<unsigned>(byteAt(da::kCommandCode));
    stream << "  Type 0x" << std::setw(4) << getType();
    stream << "  Location 0x" << std::setw(4) << location_;
    stream << " value" << std::setw(4) << value_;
}

}  // namespace smbios
