#ifndef VELMORA_INSPECT_TOKEN_COMMANDS_H
#define VELMORA_INSPECT_TOKEN_COMMANDS_H

#include <cstdint>
#include <ostream>

#include "smbios/token_table.h"

namespace hwinspect {

// The commands over the token table. Each reads the process-wide token table
// of the library (built from the process-wide SMBIOS table) and writes its
// answer to `out`; failures are thrown.

// The process-wide token table, and the same as the library's own class,
// whose checksum observers the CMOS commands run.
smbios::ITokenTable& sharedTokenTable();
smbios::TokenTable& libraryTokenTable();

// Where a CMOS token keeps its value.
struct CmosTokenPlace {
    std::uint16_t indexPort = 0;
    std::uint16_t dataPort = 0;
    std::uint8_t location = 0;
};

// The place of a CMOS token; false for a token of another kind and for an
// encoded one, which keeps even its place to itself.
bool cmosPlaceOf(const smbios::IToken& token, CmosTokenPlace& place);

// The table's printed form, then every token's, one a line. A token that
// cannot be read (an encoded string, CMOS or the calling interface out of
// reach) is listed with the reason; the command then fails after the list.
void showTokens(std::ostream& out, bool json);
// Every token with that id: its printed form, its kind, value and string.
void showToken(std::ostream& out, std::uint16_t id);

}  // namespace hwinspect

#endif
