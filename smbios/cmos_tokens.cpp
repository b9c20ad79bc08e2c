#include "smbios/cmos_tokens.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"

namespace smbios {

namespace {

namespace d4 = layout::cmos_token_structure;
namespace d5 = layout::protected_string_structure;
namespace d6 = layout::protected_string_with_checksum_structure;

// The string of `length` CMOS bytes from `location`, into the caller's buffer
// (raw bytes and a closing zero) or a scratch one.
std::string readCmosString(cmos::ICmosRW* accessor, std::uint16_t indexPort, std::uint16_t dataPort,
                           std::uint8_t location, unsigned length, std::uint8_t* buffer, unsigned bufferSize,
                           const char* tooSmallMessage) {
    std::unique_ptr<std::uint8_t[]> scratch;
    if (buffer == nullptr) {
        scratch.reset(new std::uint8_t[length + 1]);
        buffer = scratch.get();
    } else if (bufferSize < length + 1) {
        throw ParameterErrorImpl(tooSmallMessage);
    }
    std::memset(buffer, 0, length);
    for (unsigned i = 0; i < length; ++i) buffer[i] = accessor->readByte(indexPort, dataPort, location + i);
    buffer[length] = 0;
    return std::string(reinterpret_cast<const char*>(buffer));
}

// Writes exactly `length` bytes from `location`: the input, cut or padded
// with zeros, observers told once.
void writeCmosString(cmos::ICmosRW* accessor, std::uint16_t indexPort, std::uint16_t dataPort, std::uint8_t location,
                     unsigned length, const std::uint8_t* bytes, std::size_t count) {
    std::vector<std::uint8_t> scratch(length, 0);
    if (bytes != nullptr) std::copy_n(bytes, std::min<std::size_t>(count, length), scratch.begin());
    cmos::writeBlock(location, accessor, indexPort, dataPort, scratch.data(), scratch.size());
}

std::string printedForm(const ISmbiosItem& item) {
    std::ostringstream text;
    text << item;
    return text.str();
}

void setDetails(std::uint16_t* indexPortOut, std::uint16_t* dataPortOut, std::uint8_t* locationOut,
                std::uint16_t indexPort, std::uint16_t dataPort, std::uint8_t location) {
    if (indexPortOut != nullptr) *indexPortOut = indexPort;
    if (dataPortOut != nullptr) *dataPortOut = dataPort;
    if (locationOut != nullptr) *locationOut = location;
}

}  // namespace

void addChecksumObserver(std::vector<CmosRWChecksumObserver>& observers, const std::string& description,
                         int checksumType, int indexPort, int dataPort, int start, int end, int checksumLocation,
                         cmos::ICmosRW* accessor) {
    observers.emplace_back(description, checksumType, indexPort, dataPort, start, end, checksumLocation, accessor);
}

// ---- 0xD4 ----

CmosTokenD4::CmosTokenD4(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize], cmos::ICmosRW* accessor)
    : StructureToken(item, "TokenD4", layout::read16(entry, kEntrySize, d4::kEntryId)),
      location_(entry[d4::kEntryLocation]),
      andMask_(entry[d4::kEntryAndMask]),
      orMask_(entry[d4::kEntryOrMask]),
      accessor_(accessor) {}

CmosTokenD4::~CmosTokenD4() = default;

std::uint16_t CmosTokenD4::indexPort() const { return wordAt(d4::kIndexPort); }

std::uint16_t CmosTokenD4::dataPort() const { return wordAt(d4::kDataPort); }

bool CmosTokenD4::isString() const { return andMask_ == 0; }

bool CmosTokenD4::isBool() const { return andMask_ != 0; }

bool CmosTokenD4::isActive() const {
    if (isString()) throw InvalidAccessModeImpl("tried to call isActive() on a string token.");
    const std::uint8_t byte = accessor_->readByte(indexPort(), dataPort(), location_);
    return static_cast<std::uint8_t>(byte & ~andMask_) == orMask_;
}

void CmosTokenD4::activate() const {
    if (isString()) throw InvalidAccessModeImpl("tried to activate() a string token.");
    const std::uint8_t byte = accessor_->readByte(indexPort(), dataPort(), location_);
    accessor_->writeByte(indexPort(), dataPort(), location_, static_cast<std::uint8_t>((byte & andMask_) | orMask_));
}

void CmosTokenD4::deactivate() const {
    if (isString()) throw InvalidAccessModeImpl("tried to deactivate() a string token.");
    const auto field = static_cast<std::uint8_t>(~andMask_);
    if (field == 0) throw InvalidAccessModeImpl("the token's AND mask leaves it no bit to change.");
    if ((field & (field - 1)) != 0) {
        throw InvalidAccessModeImpl(
            "the token's setting has several bits: its other values belong to other tokens, activate one of "
            "those.");
    }
    const std::uint8_t byte = accessor_->readByte(indexPort(), dataPort(), location_);
    const auto other = static_cast<std::uint8_t>(~orMask_ & field);
    accessor_->writeByte(indexPort(), dataPort(), location_, static_cast<std::uint8_t>((byte & andMask_) | other));
}

unsigned int CmosTokenD4::getStringLength() const {
    if (!isString()) throw InvalidAccessModeImpl("tried to getStringLength on non-string.");
    return orMask_ != 0 ? orMask_ : 1;
}

std::string CmosTokenD4::getString(std::uint8_t* buffer, unsigned int bufferSize) const {
    if (!isString()) throw InvalidAccessModeImpl("tried to call getString() on a bit token.");
    return readCmosString(accessor_, indexPort(), dataPort(), location_, getStringLength(), buffer, bufferSize,
                          "called getString() with too small of a buffer.");
}

void CmosTokenD4::setString(const std::uint8_t* bytes, std::size_t length) const {
    if (!isString()) throw InvalidAccessModeImpl("tried to setString() on non-string.");
    writeCmosString(accessor_, indexPort(), dataPort(), location_, getStringLength(), bytes, length);
}

void CmosTokenD4::getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const {
    setDetails(indexPort, dataPort, location, this->indexPort(), this->dataPort(), location_);
}

void CmosTokenD4::printFields(std::ostream& stream) const {
    stream << "  Index Port 0x" << std::setw(2) << indexPort();
    stream << "  Data Port 0x" << std::setw(2) << dataPort();
    stream << "  Type 0x" << std::setw(4) << getType();
    stream << "  Location 0x" << std::setw(2) << static_cast<unsigned>(location_);
    if (isString()) {
        stream << " STRING  Length " << std::dec << std::setw(2) << getStringLength() << std::hex;
        stream << " value(" << getString() << ")";
    } else {
        stream << " AND(" << std::setw(1) << static_cast<unsigned>(andMask_) << ") ";
        stream << "OR(" << std::setw(1) << static_cast<unsigned>(orMask_) << ") ";
        stream << " BITFIELD: " << (isActive() ? 1 : 0);
    }
}

// ---- 0xD5 ----

CmosTokenD5::CmosTokenD5(const ISmbiosItem& item, cmos::ICmosRW* accessor,
                         std::vector<CmosRWChecksumObserver>& observers)
    : CmosTokenD5(item, "TokenD5", accessor, observers) {}

CmosTokenD5::CmosTokenD5(const ISmbiosItem& item, std::string tokenClass, cmos::ICmosRW* accessor,
                         std::vector<CmosRWChecksumObserver>& observers)
    : StructureToken(item, std::move(tokenClass), 0), accessor_(accessor), observers_(observers) {
    setId(wordAt(d5::kTokenId));
    // A structure cut short of its checksum fields declares no checksum; one
    // made of the zeros read in their place would rewrite CMOS bytes 0 and 1.
    if (item.length() <= d5::kChecksumLocation) return;
    // The checksum of encoded bytes is not kept here; it is listed as none.
    if (isEncoded()) {
        addChecksumObserver(observers_, description(), byteAt(d5::kChecksumType), indexPort(), dataPort(), 0, 0, 0,
                            accessor_);
        return;
    }
    const int location = byteAt(d5::kLocation);
    // The stored length byte, not the counted one: a zero byte declares an
    // empty range, which never needs repair.
    const int end = location + byteAt(d5::kStringLength) - 1;
    addChecksumObserver(observers_, description(), byteAt(d5::kChecksumType), indexPort(), dataPort(), location, end,
                        byteAt(d5::kChecksumLocation), accessor_);
}

CmosTokenD5::~CmosTokenD5() = default;

std::string CmosTokenD5::description() const { return printedForm(getItemRef()); }

std::uint16_t CmosTokenD5::indexPort() const { return wordAt(d5::kIndexPort); }

std::uint16_t CmosTokenD5::dataPort() const { return wordAt(d5::kDataPort); }

bool CmosTokenD5::isEncoded() const { return wordAt(d5::kEncoding) != 0; }

void CmosTokenD5::requireDecoded() const {
    if (isEncoded()) throw NeedAuthenticationImpl("not decoded yet");
}

unsigned int CmosTokenD5::getStringLength() const {
    const std::uint8_t stored = byteAt(d5::kStringLength);
    return stored != 0 ? stored : 1;
}

std::string CmosTokenD5::getString(std::uint8_t* buffer, unsigned int bufferSize) const {
    requireDecoded();
    return readCmosString(accessor_, indexPort(), dataPort(), byteAt(d5::kLocation), getStringLength(), buffer,
                          bufferSize, "");
}

void CmosTokenD5::setString(const std::uint8_t* bytes, std::size_t length) const {
    requireDecoded();
    writeCmosString(accessor_, indexPort(), dataPort(), byteAt(d5::kLocation), getStringLength(), bytes, length);
}

void CmosTokenD5::getCMOSDetails(std::uint16_t* indexPortOut, std::uint16_t* dataPortOut,
                                 std::uint8_t* location) const {
    requireDecoded();
    setDetails(indexPortOut, dataPortOut, location, indexPort(), dataPort(), byteAt(d5::kLocation));
}

bool CmosTokenD5::tryPassword(const std::string& password) {
    // Decoding stored strings is not supported; the password is not kept.
    std::cout << "Password decode code not yet present." << password << std::endl;
    return false;
}

int CmosTokenD5::getPasswordProperty() const { return byteAt(d5::kPasswordProperty); }

void CmosTokenD5::printFields(std::ostream& stream) const {
    stream << "  Index Port 0x" << std::setw(2) << indexPort();
    stream << "  Data Port 0x" << std::setw(2) << dataPort();
    stream << "  Type 0x" << std::setw(4) << getType();
    stream << "  Location 0x" << std::setw(2) << static_cast<unsigned>(byteAt(d5::kLocation));
    stream << " STRING  Length " << std::dec << std::setw(2) << getStringLength() << std::hex;
    stream << " value(" << getString() << ")";
}

// ---- 0xD6 ----

CmosTokenD6::CmosTokenD6(const ISmbiosItem& item, cmos::ICmosRW* accessor,
                         std::vector<CmosRWChecksumObserver>& observers)
    : CmosTokenD5(item, "TokenD6", accessor, observers) {
    if (item.length() <= d6::kChecksumLocation) return;
    // Start, end and location all 0 declare none, whatever the type byte.
    const std::uint8_t start = byteAt(d6::kChecksumStart);
    const std::uint8_t end = byteAt(d6::kChecksumEnd);
    const std::uint8_t location = byteAt(d6::kChecksumLocation);
    if (start == 0 && end == 0 && location == 0) return;
    addChecksumObserver(observers, description(), byteAt(d6::kChecksumType), indexPort(), dataPort(), start, end,
                        location, this->accessor());
}

CmosTokenD6::~CmosTokenD6() = default;

}  // namespace smbios
