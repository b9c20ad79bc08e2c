#include "smbios/smi_token.h"

#include <algorithm>
#include <iomanip>

#include "smbios/smi_exceptions.h"
#include "smbios/token_structure.h"
#include "smi/calling_interface_calls.h"

namespace smbios {

using token_detail::FlagsSaver;
using token_detail::word;

namespace {

constexpr std::size_t kCommandAddress = 4;
constexpr std::size_t kCommandCode = 6;

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
    : item_(item.clone()),
      structure_(token_detail::leadingBytes<17>(item)),
      id_(static_cast<std::uint16_t>(entry[0] | (entry[1] << 8))),
      location_(static_cast<std::uint16_t>(entry[2] | (entry[3] << 8))),
      value_(static_cast<std::uint16_t>(entry[4] | (entry[5] << 8))) {}

SmiTokenDA::~SmiTokenDA() = default;

std::string SmiTokenDA::getTokenClass() const { return "TokenDA"; }

std::uint16_t SmiTokenDA::getType() const { return id_; }

bool SmiTokenDA::isString() const { return true; }

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
    const std::uint16_t value = readValue();
    const char bytes[3] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8), 0};
    if (buffer != nullptr && bufferSize > 1) {
        std::fill_n(buffer, bufferSize, 0);
        buffer[0] = static_cast<std::uint8_t>(bytes[0]);
        buffer[1] = static_cast<std::uint8_t>(bytes[1]);
    }
    return std::string(bytes);
}

void SmiTokenDA::setString(const std::uint8_t* bytes, std::size_t length) const {
    std::uint16_t value = 0;
    if (bytes != nullptr && length > 0) value = bytes[0];
    if (bytes != nullptr && length > 1) value = static_cast<std::uint16_t>(value | (bytes[1] << 8));
    writeValue(value);
}

const ISmbiosItem& SmiTokenDA::getItemRef() const { return *item_; }

void SmiTokenDA::getSmiDetails(std::uint16_t* commandAddress, std::uint8_t* commandCode, std::uint8_t* location) const {
    if (commandAddress != nullptr) *commandAddress = word(structure_, kCommandAddress);
    if (commandCode != nullptr) *commandCode = structure_[kCommandCode];
    if (location != nullptr) *location = static_cast<std::uint8_t>(location_);
}

bool SmiTokenDA::tryPassword(const std::string& password) {
    password_ = password;
    return true;
}

int SmiTokenDA::getPasswordProperty() const { return -1; }

std::ostream& SmiTokenDA::streamify(std::ostream& stream) const {
    FlagsSaver saved(stream);
    stream << std::hex;
    stream << "DMI type 0x" << std::setw(2) << static_cast<unsigned>(structure_[0]);
    stream << "  Handle 0x" << std::setw(4) << word(structure_, 2);
    stream << "  CmdIO Port 0x" << std::setw(4) << word(structure_, kCommandAddress);
    stream << "  CmdIO Code 0x" << std::setw(2) << static_cast<unsigned>(structure_[kCommandCode]);
    stream << "  Type 0x" << std::setw(4) << id_;
    stream << "  Location 0x" << std::setw(4) << location_;
    stream << " value" << std::setw(4) << value_;
    return stream;
}

}  // namespace smbios
