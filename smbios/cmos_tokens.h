#ifndef VELMORA_SMBIOS_CMOS_TOKENS_H
#define VELMORA_SMBIOS_CMOS_TOKENS_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cmos/cmos_checksum_observer.h"
#include "cmos/cmos_rw.h"
#include "smbios/token.h"

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
class CmosTokenD4 : public IToken, public ICmosToken {
public:
    static constexpr unsigned kFirstEntry = 12;
    static constexpr unsigned kEntrySize = 5;

    // `entry` is the token's 5-byte entry; `accessor` is not owned.
    CmosTokenD4(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize], cmos::ICmosRW* accessor);
    ~CmosTokenD4() override;

    std::string getTokenClass() const override;
    std::uint16_t getType() const override;
    bool isActive() const override;
    void activate() const override;
    bool isString() const override;
    bool isBool() const override;
    unsigned int getStringLength() const override;
    std::string getString(std::uint8_t* buffer = nullptr, unsigned int bufferSize = 0) const override;
    void setString(const std::uint8_t* bytes, std::size_t length) const override;
    const ISmbiosItem& getItemRef() const override;
    std::ostream& streamify(std::ostream& stream) const override;

    void getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const override;

private:
    std::unique_ptr<const ISmbiosItem> item_;
    std::array<std::uint8_t, 17> structure_;
    std::uint16_t id_;
    std::uint8_t location_;
    std::uint8_t andMask_;
    std::uint8_t orMask_;
    cmos::ICmosRW* accessor_;
};

// The one string token of a protected CMOS string structure (type 0xD5),
// with its own checksum. Its bytes may be stored encoded; such a token
// cannot be read or written here.
class CmosTokenD5 : public IToken, public ICmosToken, public IProtectedToken {
public:
    // Appends the observer of its own checksum to `observers` (the table's
    // list); for an encoded token one that declares no checksum, since its
    // bytes are not known here. `accessor` is not owned.
    CmosTokenD5(const ISmbiosItem& item, cmos::ICmosRW* accessor, std::vector<CmosRWChecksumObserver>& observers);
    ~CmosTokenD5() override;

    std::string getTokenClass() const override;
    std::uint16_t getType() const override;
    bool isActive() const override;
    void activate() const override;
    bool isString() const override;
    bool isBool() const override;
    unsigned int getStringLength() const override;
    std::string getString(std::uint8_t* buffer = nullptr, unsigned int bufferSize = 0) const override;
    void setString(const std::uint8_t* bytes, std::size_t length) const override;
    const ISmbiosItem& getItemRef() const override;
    std::ostream& streamify(std::ostream& stream) const override;

    void getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const override;

    bool tryPassword(const std::string& password) override;
    int getPasswordProperty() const override;

protected:
    std::string description() const;
    std::uint16_t indexPort() const;
    std::uint16_t dataPort() const;
    cmos::ICmosRW* accessor() const { return accessor_; }

private:
    bool isEncoded() const;
    void requireDecoded() const;

    std::unique_ptr<const ISmbiosItem> item_;
    std::array<std::uint8_t, 17> structure_;
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

    std::string getTokenClass() const override;

private:
    std::array<std::uint8_t, 21> structure_;
};

}  // namespace smbios

#endif
