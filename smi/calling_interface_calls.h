#ifndef VELMORA_SMI_CALLING_INTERFACE_CALLS_H
#define VELMORA_SMI_CALLING_INTERFACE_CALLS_H

#include <cstdint>
#include <memory>
#include <string>

#include "smi/smi.h"

namespace smi {

// A calling-interface request for `cls` and `select` with the four
// arguments, aimed at the command port of the first 0xDA structure of the
// process-wide SMBIOS table, from SmiFactory. Throws smbios::InternalError
// when there is no such structure or its formatted area is too short.
std::unique_ptr<IQuorCallingInterfaceSmi> setupCallingInterfaceSmi(std::uint16_t cls, std::uint16_t select,
                                                                   const std::uint32_t args[4]);

// Sets a request up, executes it and copies the four results out.
void doSimpleCallingInterfaceSmi(std::uint16_t cls, std::uint16_t select, const std::uint32_t args[4],
                                 std::uint32_t results[4]);

// What the firmware tells about its passwords of class 9 or 10 (any other
// class throws smi::ParameterError). False when it reports none; otherwise
// the three bytes it gives, of which the first is the password's maximum length.
bool getPasswordProperties(std::uint16_t cls, std::uint8_t* maxLength, std::uint8_t* minLength,
                           std::uint8_t* characteristics);

// The key the firmware expects in place of the setup password for protected
// calls; 0 when the firmware offers no way to get one. Throws
// PasswordVerificationFailed when the password does not match.
std::uint32_t getAuthenticationKey(const std::string& password);

}  // namespace smi

#endif
