#ifndef VELMORA_SMBIOS_TOKEN_H
#define VELMORA_SMBIOS_TOKEN_H

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "smbios/smbios_item.h"

namespace smbios {

// One firmware setting declared by a token structure of the SMBIOS table: a
// bit (active or not) or a short byte string, identified by a 16-bit id.
class IToken {
public:
    virtual ~IToken();
    virtual std::string getTokenClass() const = 0;
    virtual std::uint16_t getType() const = 0;
    virtual bool isActive() const = 0;
    virtual void activate() const = 0;
    virtual bool isString() const = 0;
    virtual bool isBool() const = 0;
    virtual unsigned int getStringLength() const = 0;
    // Reads the string into `buffer` (raw bytes, NUL-terminated) when one is
    // given, and returns it up to its first zero byte.
    virtual std::string getString(std::uint8_t* buffer = nullptr, unsigned int bufferSize = 0) const = 0;
    // Writes the string: longer input is cut to the token's length, shorter
    // is padded with zero bytes.
    virtual void setString(const std::uint8_t* bytes, std::size_t length) const = 0;
    virtual const ISmbiosItem& getItemRef() const = 0;
    virtual std::ostream& streamify(std::ostream& stream) const = 0;
};

std::ostream& operator<<(std::ostream& stream, const IToken& token);

// The declarations of IToken's string operations, for each token class.
#define VELMORA_TOKEN_STRING_OVERRIDES                                                               \
  unsigned int getStringLength() const override;                                                     \
  std::string getString(std::uint8_t* buffer = nullptr, unsigned int bufferSize = 0) const override; \
  void setString(const std::uint8_t* bytes, std::size_t length) const override;

// A token kept in CMOS behind an index/data port pair.
class ICmosToken {
public:
    // Null out pointers are skipped.
    virtual void getCMOSDetails(std::uint16_t* indexPort, std::uint16_t* dataPort, std::uint8_t* location) const = 0;
    virtual ~ICmosToken();
};

// A token reached through the firmware's calling interface.
class ISmiToken {
public:
    // Null out pointers are skipped.
    virtual void getSmiDetails(std::uint16_t* commandAddress, std::uint8_t* commandCode,
                               std::uint8_t* location) const = 0;
    virtual ~ISmiToken();
};

// A token whose changes the firmware guards with the setup password.
class IProtectedToken {
public:
    virtual ~IProtectedToken();
    virtual bool tryPassword(const std::string& password) = 0;
    virtual int getPasswordProperty() const = 0;
};

// The declarations of IProtectedToken's operations, for its token classes.
#define VELMORA_PROTECTED_TOKEN_OVERRIDES                 \
  bool tryPassword(const std::string& password) override; \
  int getPasswordProperty() const override;

}  // namespace smbios

#endif
