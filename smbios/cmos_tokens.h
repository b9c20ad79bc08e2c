#ifndef VELMORA_SMBIOS_CMOS_TOKENS_H
#define VELMORA_SMBIOS_CMOS_TOKENS_H

#include <cstdint>
#include <string>
#include <vector>

#include "cmos/cmos_checksum_observer.h"
#include "cmos/cmos_rw.h"
#include "layout/cmos_token_structures.h"
#include "smbios/structure_token.h"

namespace smbios {

// Appends the observer of a CMOS checksum that a token structure declares.
// A declaration no observer can keep (an unknown type code, a checksum
// outside the CMOS page) is appended too, as one that cannot be maintained:
// other makers use the same structure types for other layouts, so a table
// over theirs still builds, but no write may leave such a checksum stale.
void addChecksumObserver(std::vector<CmosRWChecksumObserver>& observers, const std::string& description,
                         int checksumType, int indexPort, int dataPort, int start, int end, int checksumLocation,
                         cmos::ICmosRW* accessor);

// A token of a CMOS token structure (type 0xD4): a bit setting, kept as AND
// and OR masks over one CMOS byte, or (AND mask 0) a string of OR-mask bytes.
class CmosTokenD4 : public StructureToken, public ICmosToken {
public:
    static constexpr std::size_t kEntrySize = layout::cmos_token_structure::kEntrySize;

    // `entry` is the token's 5-byte entry; `accessor` is not owned.
    CmosTokenD4(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize], cmos::ICmosRW* accessor);
    ~CmosTokenD4() override;

    bool isActive() const override;
    void activate() const override;
    bool isString() const override;
    bool isBool() const override;
    VELMORA_TOKEN_STRING_OVERRIDES

    void getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const override;

    // The opposite of activate() where that is unambiguous: the token's
    // field (the bits its AND mask clears) is one bit, which is set to the
    // value activate() does not write. Throws InvalidAccessMode for a string
    // token and for a field of several bits, whose other values belong to
    // other tokens of the firmware; CMOS is then not touched.
    void deactivate() const;

private:
    void printFields(std::ostream& stream) const override;
    std::uint16_t indexPort() const;
    std::uint16_t dataPort() const;

    std::uint8_t location_;
    std::uint8_t andMask_;
    std::uint8_t orMask_;
    cmos::ICmosRW* accessor_;
};

// The one string token of a protected CMOS string structure (type 0xD5),
// with its own checksum. Its bytes may be stored encoded; such a token
// cannot be read or written here.
class CmosTokenD5 : public StructureToken, public ICmosToken, public IProtectedToken {
public:
    // Appends the observer of its own checksum to `observers` (the table's
    // list); for an encoded token one that declares no checksum, since its
    // bytes are not known here. `accessor` is not owned.
    CmosTokenD5(const ISmbiosItem& item, cmos::ICmosRW* accessor, std::vector<CmosRWChecksumObserver>& observers);
    ~CmosTokenD5() override;

    VELMORA_TOKEN_STRING_OVERRIDES

    void getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const override;

    VELMORA_PROTECTED_TOKEN_OVERRIDES

protected:
    // For a structure type built on this one, named `tokenClass`.
    CmosTokenD5(const ISmbiosItem& item, std::string tokenClass, cmos::ICmosRW* accessor,
                std::vector<CmosRWChecksumObserver>& observers);

    std::string description() const;
    std::uint16_t indexPort() const;
    std::uint16_t dataPort() const;
    cmos::ICmosRW* accessor() const { return accessor_; }

private:
    void printFields(std::ostream& stream) const override;
    bool isEncoded() const;
    void requireDecoded() const;

    cmos::ICmosRW* accessor_;
    std::string password_;
    std::vector<CmosRWChecksumObserver>& observers_;
};

// A protected CMOS string (type 0xD6) that also declares a second checksum
// over a range of the same CMOS bank.
class CmosTokenD6 : public CmosTokenD5 {
public:
    // Also appends the observer of the second checksum when the structure
    // declares one (its start, end and location are not all zero).
    CmosTokenD6(const ISmbiosItem& item, cmos::ICmosRW* accessor, std::vector<CmosRWChecksumObserver>& observers);
    ~CmosTokenD6() override;
};

}  // namespace smbios

#endif
