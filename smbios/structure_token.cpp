#include "smbios/structure_token.h"

#include <algorithm>
#include <iomanip>

#include "layout/little_endian.h"
#include "layout/smbios_structure_header.h"
#include "smbios/smbios_exceptions.h"

namespace smbios {

namespace {

// Puts back the caller's format flags when a printed form is done or fails
// half way. The fill is the caller's to choose and is left alone.
class FlagsSaver {
public:
    explicit FlagsSaver(std::ostream& stream) : stream_(stream), flags_(stream.flags()) {}
    ~FlagsSaver() { stream_.flags(flags_); }
    FlagsSaver(const FlagsSaver&) = delete;
    FlagsSaver& operator=(const FlagsSaver&) = delete;

private:
    std::ostream& stream_;
    std::ios_base::fmtflags flags_;
};

}  // namespace

IToken::~IToken() = default;
ICmosToken::~ICmosToken() = default;
ISmiToken::~ISmiToken() = default;
IProtectedToken::~IProtectedToken() = default;

std::ostream& operator<<(std::ostream& stream, const IToken& token) { return token.streamify(stream); }

StructureToken::StructureToken(const ISmbiosItem& item, std::string tokenClass, std::uint16_t id)
    : item_(item.clone()), tokenClass_(std::move(tokenClass)), id_(id) {
    const std::size_t available = std::min<std::size_t>(structure_.size(), item.length());
    if (available > 0) item.readData(0, structure_.data(), available);
}

StructureToken::~StructureToken() = default;

std::string StructureToken::getTokenClass() const { return tokenClass_; }

std::uint16_t StructureToken::getType() const { return id_; }

bool StructureToken::isActive() const { throw InvalidAccessModeImpl(); }

void StructureToken::activate() const { throw InvalidAccessModeImpl(); }

bool StructureToken::isString() const { return true; }

bool StructureToken::isBool() const { return false; }

const ISmbiosItem& StructureToken::getItemRef() const { return *item_; }

std::uint8_t StructureToken::byteAt(std::size_t offset) const {
    return offset < structure_.size() ? structure_[offset] : 0;
}

std::uint16_t StructureToken::wordAt(std::size_t offset) const { return layout::read16(structure_, offset); }

std::ostream& StructureToken::streamify(std::ostream& stream) const {
    const FlagsSaver callersFlags(stream);
    stream << std::hex;
    stream << "DMI type 0x" << std::setw(2) << static_cast<unsigned>(byteAt(layout::structure_header::kType));
    stream << "  Handle 0x" << std::setw(4) << wordAt(layout::structure_header::kHandle);
    printFields(stream);
    return stream;
}

bool readTokenEntry(const ISmbiosItem& item, std::size_t firstEntry, std::size_t entrySize, unsigned index,
                    std::uint8_t* out) {
    const unsigned long long start = firstEntry + static_cast<unsigned long long>(entrySize) * index;
    if (start + entrySize > item.length()) return false;
    item.readData(static_cast<unsigned>(start), out, entrySize);
    return true;
}

}  // namespace smbios
