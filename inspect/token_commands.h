#ifndef VELMORA_INSPECT_TOKEN_COMMANDS_H
#define VELMORA_INSPECT_TOKEN_COMMANDS_H

#include <cstdint>
#include <ostream>

namespace hwinspect {

// The commands over the token table and CMOS. Each reads the process-wide
// token table of the library (built from the process-wide SMBIOS table) and
// writes its answer to `out`; failures are thrown.

// The table's printed form, then every token's, one a line. A token that
// cannot be read (an encoded string, CMOS or the calling interface out of
// reach) is listed with the reason; the command then fails after the list.
void showTokens(std::ostream& out, bool json);
// Every token with that id: its printed form, its kind, value and string.
void showToken(std::ostream& out, std::uint16_t id);
// Every CMOS checksum the token structures declare, verified without
// repairing: "ok", or the mismatch with every checksum the bytes give. Fails
// after the list when one does not match.
void verifyCmos(std::ostream& out, bool json);
// The 256 bytes behind each index port the token structures name, in hex.
void dumpCmos(std::ostream& out);

}  // namespace hwinspect

#endif
