#ifndef VELMORA_INSPECT_WRITE_COMMANDS_H
#define VELMORA_INSPECT_WRITE_COMMANDS_H

#include <cstdint>
#include <ostream>
#include <string>

namespace hwinspect {

// The commands that change CMOS (the machine's, or --cmos-image). Every
// write goes through the library's tokens and the checksum observers of the
// token table, so each declared checksum is kept. A command lists every byte
// it changed ("changed: ..."), or with --dry-run every byte it would change
// ("would change: ..."), as index port, data port, offset, old and new
// value. A command that fails part-way puts back what it had changed and
// says so; nothing stays half-written without an error.

enum class TokenChange { Activate, Deactivate, Set };

// Every token with that id: activated, deactivated (a one-bit setting), or
// given `text` as its string (shorter text is padded with zero bytes; longer
// text is refused, nothing written).
void changeToken(std::ostream& out, std::uint16_t id, TokenChange change, const std::string& text);
// Every CMOS byte the token structures use (token bytes, checksum ranges and
// locations; never the clock registers), as a CMOS image file.
void saveCmos(std::ostream& out, const std::string& path);
// Writes back the bytes of a file "cmos save" wrote that differ from CMOS,
// then reads every saved byte back and verifies every checksum.
void restoreCmos(std::ostream& out, const std::string& path);
// Writes every declared checksum whose stored value does not match.
void repairCmos(std::ostream& out);

}  // namespace hwinspect

#endif
