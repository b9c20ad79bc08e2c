#ifndef VELMORA_SMBIOS_ERROR_DESCRIPTION_H
#define VELMORA_SMBIOS_ERROR_DESCRIPTION_H

#include <exception>
#include <string>

namespace smbios {

// What to tell a person about an error of this layer (or any other): its
// expanded message, followed by the operating-system codes it carries, as
// "Error mapping physical memory. (ntstatus 0xC0000022)". NTSTATUS and
// HRESULT values are shown in hexadecimal, Win32 errors in decimal, as the
// systems' own documentation lists them; a code of 0 (success) is not shown.
// An error without a message is named by its kind ("Not available on this
// machine." for NotImplemented).
std::string summary(const std::exception& error);

// summary(), then one line per cause below it, innermost last, each as
// "  cause: " and the cause's summary. The causes are the nested exceptions
// (std::throw_with_nested) and, where an error nests none, the text of its
// "cause" parameter. No line ends the text.
std::string describe(const std::exception& error);

}  // namespace smbios

#endif
