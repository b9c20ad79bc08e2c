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
// it is active when the firmware reports the entry's value.
class SmiTokenDA : public StructureToken, public ISmiToken, public IProtectedToken {
public:
    static constexpr std::size_t kEntrySize = layout::calling_interface_structure::kEntrySize;

    // `entry` is the token's 6-byte entry.
    SmiTokenDA(const ISmbiosItem& item, const std::uint8_t entry[kEntrySize]);
    ~SmiTokenDA() override;

    // Both a bit and a 2-byte string.
    bool isBool() const override;
    bool isActive() const override;
    void activate() const override;
    unsigned int getStringLength() const override;
    // The value, low byte first, into `buffer` when it holds at least 2
    // bytes; a smaller buffer is left alone.
    std::string getString(std::uint8_t* buffer = nullptr, unsigned int bufferSize = 0) const override;
    // Sends the first two bytes as the value, low byte first; missing bytes count as zero.
    void setString(const std::uint8_t* bytes, std::size_t length) const override;

    void getSmiDetails(std::uint16_t* commandAddress, std::uint8_t* commandCode, std::uint8_t* location) const override;

    // Kept for calls the firmware refuses without the setup password.
    bool tryPassword(const std::string& password) override;
    int getPasswordProperty() const override;

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
