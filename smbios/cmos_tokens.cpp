#include "smbios/cmos_tokens.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "smbios/smbios_exceptions.h"
#include "smbios/token_structure.h"

namespace smbios {

using token_detail::FlagsSaver;
using token_detail::leadingBytes;
using token_detail::word;

namespace {

// Offsets of the 0xD4 header.
constexpr std::size_t kD4IndexPort = 4;
constexpr std::size_t kD4DataPort = 6;

// Offsets of the 0xD5 and 0xD6 structures.
constexpr std::size_t kD5TokenId = 4;
constexpr std::size_t kD5Length = 6;
constexpr std::size_t kD5PasswordProperty = 7;
constexpr std::size_t kD5Encoding = 8;
constexpr std::size_t kD5IndexPort = 10;
constexpr std::size_t kD5DataPort = 12;
constexpr std::size_t kD5ChecksumType = 14;
constexpr std::size_t kD5Location = 15;
constexpr std::size_t kD5ChecksumLocation = 16;
constexpr std::size_t kD6ChecksumType = 17;
constexpr std::size_t kD6Start = 18;
constexpr std::size_t kD6End = 19;
constexpr std::size_t kD6ChecksumLocation = 20;

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

IToken::~IToken() = default;
ICmosToken::~ICmosToken() = default;
ISmiToken::~ISmiToken() = default;
IProtectedToken::~IProtectedToken() = default;

std::ostream& operator<<(std::ostream& stream, const IToken& token) { return token.streamify(stream); }

// ---- 0xD4 ----

CmosTokenD4::CmosTokenD4(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize], cmos::ICmosRW* accessor)
    : item_(item.clone()),
      structure_(leadingBytes<17>(item)),
      id_(static_cast<std::uint16_t>(entry[0] | (entry[1] << 8))),
      location_(entry[2]),
      andMask_(entry[3]),
      orMask_(entry[4]),
      accessor_(accessor) {}

CmosTokenD4::~CmosTokenD4() = default;

std::string CmosTokenD4::getTokenClass() const { return "TokenD4"; }

std::uint16_t CmosTokenD4::getType() const { return id_; }

bool CmosTokenD4::isString() const { return andMask_ == 0; }

bool CmosTokenD4::isBool() const { return andMask_ != 0; }

bool CmosTokenD4::isActive() const {
    if (isString()) throw InvalidAccessModeImpl("tried to call isActive() on a string token.");
    const std::uint8_t byte = accessor_->readByte(word(structure_, kD4IndexPort), word(structure_, kD4DataPort),
                                                  location_);
    return static_cast<std::uint8_t>(byte & ~andMask_) == orMask_;
}

void CmosTokenD4::activate() const {
    if (isString()) throw InvalidAccessModeImpl("tried to activate() a string token.");
    const std::uint16_t indexPort = word(structure_, kD4IndexPort);
    const std::uint16_t dataPort = word(structure_, kD4DataPort);
    const std::uint8_t byte = accessor_->readByte(indexPort, dataPort, location_);
    accessor_->writeByte(indexPort, dataPort, location_, static_cast<std::uint8_t>((byte & andMask_) | orMask_));
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
    const std::uint16_t indexPort = word(structure_, kD4IndexPort);
    const std::uint16_t dataPort = word(structure_, kD4DataPort);
    const std::uint8_t byte = accessor_->readByte(indexPort, dataPort, location_);
    const auto other = static_cast<std::uint8_t>(~orMask_ & field);
    accessor_->writeByte(indexPort, dataPort, location_, static_cast<std::uint8_t>((byte & andMask_) | other));
}

unsigned int CmosTokenD4::getStringLength() const {
    if (!isString()) throw InvalidAccessModeImpl("tried to getStringLength on non-string.");
    return orMask_ != 0 ? orMask_ : 1;
}

std::string CmosTokenD4::getString(std::uint8_t* buffer, unsigned int bufferSize) const {
    if (!isString()) throw InvalidAccessModeImpl("tried to call getString() on a bit token.");
    return readCmosString(accessor_, word(structure_, kD4IndexPort), word(structure_, kD4DataPort), location_,
                          getStringLength(), buffer, bufferSize, "called getString() with too small of a buffer.");
}

void CmosTokenD4::setString(const std::uint8_t* bytes, std::size_t length) const {
    if (!isString()) throw InvalidAccessModeImpl("tried to setString() on non-string.");
    writeCmosString(accessor_, word(structure_, kD4IndexPort), word(structure_, kD4DataPort), location_,
                    getStringLength(), bytes, length);
}

const ISmbiosItem& CmosTokenD4::getItemRef() const { return *item_; }

void CmosTokenD4::getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const {
    setDetails(indexPort, dataPort, location, word(structure_, kD4IndexPort), word(structure_, kD4DataPort), location_);
}

std::ostream& CmosTokenD4::streamify(std::ostream& stream) const {
    FlagsSaver saved(stream);
    stream << std::hex;
    stream << "DMI type 0x" << std::setw(2) << static_cast<unsigned>(structure_[0]);
    stream << "  Handle 0x" << std::setw(4) << word(structure_, 2);
    stream << "  Index Port 0x" << std::setw(2) << word(structure_, kD4IndexPort);
    stream << "  Data Port 0x" << std::setw(2) << word(structure_, kD4DataPort);
    stream << "  Type 0x" << std::setw(4) << id_;
    stream << "  Location 0x" << std::setw(2) << static_cast<unsigned>(location_);
    if (isString()) {
        stream << " STRING  Length " << std::dec << std::setw(2) << getStringLength() << std::hex;
        stream << " value(" << getString() << ")";
    } else {
        stream << " AND(" << std::setw(1) << static_cast<unsigned>(andMask_) << ") ";
        stream << "OR(" << std::setw(1) << static_cast<unsigned>(orMask_) << ") ";
        stream << " BITFIELD: " << (isActive() ? 1 : 0);
    }
    return stream;
}

// ---- 0xD5 ----

CmosTokenD5::CmosTokenD5(const ISmbiosItem& item, cmos::ICmosRW* accessor,
                         std::vector<CmosRWChecksumObserver>& observers)
    : item_(item.clone()), structure_(leadingBytes<17>(item)), accessor_(accessor), observers_(observers) {
    // A structure cut short of its checksum fields declares no checksum; one
    // made of the zeros read in their place would rewrite CMOS bytes 0 and 1.
    if (item.length() <= kD5ChecksumLocation) return;
    // The checksum of encoded bytes is not kept here; it is listed as none.
    if (isEncoded()) {
        addChecksumObserver(observers_, description(), structure_[kD5ChecksumType], indexPort(), dataPort(), 0, 0, 0,
                            accessor_);
        return;
    }
    const int location = structure_[kD5Location];
    // The stored length byte, not the counted one: a zero byte declares an
    // empty range, which never needs repair.
    const int end = location + structure_[kD5Length] - 1;
    addChecksumObserver(observers_, description(), structure_[kD5ChecksumType], indexPort(), dataPort(), location, end,
                        structure_[kD5ChecksumLocation], accessor_);
}

CmosTokenD5::~CmosTokenD5() = default;

std::string CmosTokenD5::description() const { return printedForm(*item_); }

std::uint16_t CmosTokenD5::indexPort() const { return word(structure_, kD5IndexPort); }

std::uint16_t CmosTokenD5::dataPort() const { return word(structure_, kD5DataPort); }

bool CmosTokenD5::isEncoded() const { return word(structure_, kD5Encoding) != 0; }

void CmosTokenD5::requireDecoded() const {
    if (isEncoded()) throw NeedAuthenticationImpl("not decoded yet");
}

std::string CmosTokenD5::getTokenClass() const { return "TokenD5"; }

std::uint16_t CmosTokenD5::getType() const { return word(structure_, kD5TokenId); }

bool CmosTokenD5::isActive() const { throw InvalidAccessModeImpl(); }

void CmosTokenD5::activate() const { throw InvalidAccessModeImpl(); }

bool CmosTokenD5::isString() const { return true; }

bool CmosTokenD5::isBool() const { return false; }

unsigned int CmosTokenD5::getStringLength() const { return structure_[kD5Length] != 0 ? structure_[kD5Length] : 1; }

std::string CmosTokenD5::getString(std::uint8_t* buffer, unsigned int bufferSize) const {
    requireDecoded();
    return readCmosString(accessor_, indexPort(), dataPort(), structure_[kD5Location], getStringLength(), buffer,
                          bufferSize, "");
}

void CmosTokenD5::setString(const std::uint8_t* bytes, std::size_t length) const {
    requireDecoded();
    writeCmosString(accessor_, indexPort(), dataPort(), structure_[kD5Location], getStringLength(), bytes, length);
}

const ISmbiosItem& CmosTokenD5::getItemRef() const { return *item_; }

void CmosTokenD5::getCMOSDetails(std::uint16_t* indexPortOut, std::uint16_t* dataPortOut,
                                 std::uint8_t* location) const {
    requireDecoded();
    setDetails(indexPortOut, dataPortOut, location, indexPort(), dataPort(), structure_[kD5Location]);
}

bool CmosTokenD5::tryPassword(const std::string& password) {
    // Decoding stored strings is not supported; the password is not kept.
    std::cout << "Password decode code not yet present." << password << std::endl;
    return false;
}

int CmosTokenD5::getPasswordProperty() const { return structure_[kD5PasswordProperty]; }

std::ostream& CmosTokenD5::streamify(std::ostream& stream) const {
    FlagsSaver saved(stream);
    stream << std::hex;
    stream << "DMI type 0x" << std::setw(2) << static_cast<unsigned>(structure_[0]);
    stream << "  Handle 0x" << std::setw(4) << word(structure_, 2);
    stream << "  Index Port 0x" << std::setw(2) << indexPort();
    stream << "  Data Port 0x" << std::setw(2) << dataPort();
    stream << "  Type 0x" << std::setw(4) << getType();
    stream << "  Location 0x" << std::setw(2) << static_cast<unsigned>(structure_[kD5Location]);
    stream << " STRING  Length " << std::dec << std::setw(2) << getStringLength() << std::hex;
    stream << " value(" << getString() << ")";
    return stream;
}

// ---- 0xD6 ----

CmosTokenD6::CmosTokenD6(const ISmbiosItem& item, cmos::ICmosRW* accessor,
                         std::vector<CmosRWChecksumObserver>& observers)
    : CmosTokenD5(item, accessor, observers), structure_(leadingBytes<21>(item)) {
    if (item.length() <= kD6ChecksumLocation) return;
    // Start, end and location all 0 declare none, whatever the type byte.
    const bool declared = structure_[kD6Start] != 0 || structure_[kD6End] != 0 || structure_[kD6ChecksumLocation] != 0;
    if (!declared) return;
    addChecksumObserver(observers, description(), structure_[kD6ChecksumType], indexPort(), dataPort(),
                        structure_[kD6Start], structure_[kD6End], structure_[kD6ChecksumLocation], this->accessor());
}

CmosTokenD6::~CmosTokenD6() = default;

std::string CmosTokenD6::getTokenClass() const { return "TokenD6"; }

}  // namespace smbios
