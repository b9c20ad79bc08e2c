#ifndef VELMORA_SMBIOS_SMI_TOKEN_H
#define VELMORA_SMBIOS_SMI_TOKEN_H

#include <cstdint>
#include <string>

#include "layout/calling_interface_structure.h"
#include "smbios/structure_token.h"
#include "smi/smi.h"

namespace smbios {

// A token of a calling-interface token structure (type 0xDA): read and
// changed through calling-interface calls. Its value is 16 bits; as a bit
// it is active when the firmware reports the entry's value. It is both a bit
// and a 2-byte string: getString gives the value, low byte first, into a
// buffer of at least 2 bytes (a smaller one is left alone); setString sends
// the first two bytes as the value, low byte first, missing bytes counting as
// zero. The password is kept for calls the firmware refuses without the
// setup password.
class SmiTokenDA : public StructureToken, public ISmiToken, public IProtectedToken {
public:
    static constexpr std::size_t kEntrySize = layout::calling_interface_structure::kEntrySize;

    // `entry` is the token's 6-byte entry.
    SmiTokenDA(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize]);
    ~SmiTokenDA() override;

    bool isBool() const override;
    bool isActive() const override;
    void activate() const override;
    VELMORA_TOKEN_STRING_OVERRIDES

    void getSmiDetails(std::uint16_t* commandAddress, std::uint8_t* commandCode, std::uint8_t* location) const override;

    VELMORA_PROTECTED_TOKEN_OVERRIDES

private:
    void printFields(std::ostream& stream) const override;
    std::uint16_t readValue() const;
    void writeValue(std::uint16_t value) const;

    std::uint16_t location_;
    std::uint16_t value_;
    std::string password_;
};

// Executes `call`; when the firmware answers that it failed, executes it once
// more with the authentication key for `password` in argument 2. A second
// failure propagates.
int executeWithPassword(smi::IQuorCallingInterfaceSmi& call, const std::string& password);

}  // namespace smbios

#endif
