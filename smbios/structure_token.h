#ifndef VELMORA_SMBIOS_STRUCTURE_TOKEN_H
#define VELMORA_SMBIOS_STRUCTURE_TOKEN_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "smbios/token.h"

namespace smbios {

// What every token of a token structure shares: its own copy of the
// structure, the structure's leading bytes, its id and class name, and the
// start of its printed form. Token structures come from firmware and other
// makers use the same type numbers for other layouts, so every field is read
// from the formatted area only, and a field the structure is too short to
// hold reads as zero.
//
// The defaults are those of a string token: isActive() and activate() throw
// InvalidAccessMode.
class StructureToken : public IToken {
public:
    // The longest layout a token reads (0xD6).
    static constexpr std::size_t kLeadingBytes = 21;

    ~StructureToken() override;

    std::string getTokenClass() const override;
    std::uint16_t getType() const override;
    bool isActive() const override;
    void activate() const override;
    bool isString() const override;
    bool isBool() const override;
    const ISmbiosItem& getItemRef() const override;
    // "DMI type 0x.. Handle 0x....", then printFields().
    std::ostream& streamify(std::ostream& stream) const final;

protected:
    StructureToken(const ISmbiosItem& item, std::string tokenClass, std::uint16_t id);

    // The rest of the printed form, in hexadecimal unless it says otherwise.
    virtual void printFields(std::ostream& stream) const = 0;

    std::uint8_t byteAt(std::size_t offset) const;
    std::uint16_t wordAt(std::size_t offset) const;
    void setId(std::uint16_t id) { id_ = id; }

private:
    std::unique_ptr<const ISmbiosItem> item_;
    std::array<std::uint8_t, kLeadingBytes> structure_{};
    std::string tokenClass_;
    std::uint16_t id_;
};

// Entry `index` of `entrySize` bytes from `firstEntry`, when it lies wholly
// inside the formatted area of `item`; false otherwise.
bool readTokenEntry(const ISmbiosItem& item, std::size_t firstEntry, std::size_t entrySize, unsigned index,
                    std::uint8_t* out);

}  // namespace smbios

#endif
