#ifndef VELMORA_INSPECT_CMOS_COMMANDS_H
#define VELMORA_INSPECT_CMOS_COMMANDS_H

#include <ostream>

namespace hwinspect {

// The commands over CMOS, as the token structures of the SMBIOS table
// describe it: their checksums and the port pairs they name. CMOS is the
// library's accessor (the machine's ports, or --cmos-image).

// Every CMOS checksum the token structures declare, verified without
// repairing: "ok", "MISMATCH" with every checksum the bytes give, or
// "UNREADABLE" with the reason. Fails after the list unless all are ok.
void verifyCmos(std::ostream& out, bool json);
// The 256 bytes behind each index port the token structures name, in hex;
// the clock registers only with `clockRegisters` ("--" otherwise). A port
// pair whose bytes all read 0xff is said to have no CMOS behind it.
void dumpCmos(std::ostream& out, bool clockRegisters);

}  // namespace hwinspect

#endif
