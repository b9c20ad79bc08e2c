// Fuzz target: an arbitrary byte string taken as an SMBIOS structure table,
// turned into a token table over an in-memory CMOS, and one kind of use of
// it: the first tokens printed, their strings and bits read, written back or
// activated (so the checksum observers run as well), or every checksum
// declaration run in verify mode. Calling-interface tokens (0xDA) go to a
// scripted firmware whose answers come from the input. AddressSanitizer
// watches that nothing is read outside a buffer.
//
// One kind of use per input keeps the code an input reaches, and so the
// fuzzer's bookkeeping per input, small; the table is built by every kind.
//
// Input: byte 0 chooses the use (% 4: print, read, write, verify). Byte 1
// chooses how much of the table its declared length cuts off (bytes from
// 0x80 on: that many less 0x80). The cut-off bytes are the firmware's
// answers, 16 bytes (four 32-bit results) per call, in turn; without them
// every call is answered "success" with the value 1.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "fuzz/fuzz_cmos.h"
#include "fuzz/fuzz_tables.h"
#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"
#include "smbios/token_table.h"
#include "tests/unit/smi/smi_fixtures.h"

namespace {

// The firmware's answers: the cut-off bytes, 16 per call, round and round.
const std::uint8_t* answers = nullptr;
std::size_t answerBytes = 0;
std::size_t nextAnswer = 0;

void answerCall(smi_test::FirmwareCall& call) {
    if (answerBytes < 16) {
        call.results = {0, 1, 1, 0};
        return;
    }
    const std::uint8_t* at = answers + (nextAnswer++ % (answerBytes / 16)) * 16;
    for (int i = 0; i < 4; ++i) call.results[i] = layout::read32(at, 16, 4 * static_cast<std::size_t>(i));
}

enum class Use { print, read, write, verify };

// Tokens read or written; tokens printed.
constexpr std::size_t kTokensExercised = 64;
constexpr std::size_t kTokensPrinted = 8;
// Writes tell every observer whose range holds a written byte; with more
// declarations than this the tokens are only read.
constexpr std::size_t kMaxObserversForWrites = 16;

void print(const smbios::IToken& token) {
    try {
        std::ostringstream printed;
        printed << token;
    } catch (const smbios::IException&) {
    }
}

void exercise(const smbios::IToken& token, bool write) {
    try {
        if (token.isString()) {
            std::vector<std::uint8_t> buffer(token.getStringLength() + 1);
            token.getString(buffer.data(), static_cast<unsigned>(buffer.size()));
            if (write) token.setString(buffer.data(), buffer.size());
        } else {
            if (write) token.activate();
            (void)token.isActive();
        }
    } catch (const smbios::IException&) {
    }
}

void verifyDeclarations(smbios::TokenTable& tokens, cmos_test::MemoryCmos& cmos) {
    const bool verifyOnly = false;
    std::size_t checked = 0;
    for (smbios::CmosRWChecksumObserver& observer : tokens.checksumObservers()) {
        if (checked++ == kMaxObserversForWrites) break;
        try {
            observer.update(&cmos, &verifyOnly);
        } catch (const smbios::IException&) {
            // Invalid or unmaintainable: either is an answer.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const Use use = static_cast<Use>(data[0] % 4);
    ++data;
    --size;
    const std::size_t delivered = size - 1;
    const std::size_t cut = data[0] < 0x80 ? 0 : data[0] - 0x80u;
    const std::size_t declared = delivered > cut ? delivered - cut : 0;
    answers = data + 1 + declared;
    answerBytes = delivered - declared;
    nextAnswer = 0;

    cmos_test::MemoryCmos& cmos = fuzz::freshCmos(0x5A);
    cmos_test::UsingMemoryCmos usingCmos(cmos);
    smi_test::ScriptedSmi firmware(answerCall);
    {
        smbios::SmbiosTable::StrategyList strategies;
        strategies.push_back(std::make_unique<fuzz::InputTableStrategy>(
            data + 1, delivered, static_cast<std::uint16_t>(declared > 0xFFFF ? 0xFFFF : declared)));
        smbios::SmbiosTable table(std::move(strategies), false);
        table.installWorkarounds();
        // The calling interface finds its command port in the process-wide table.
        const fuzz::CurrentTable current(&table);
        try {
            smbios::TokenTable tokens(table);
            if (use == Use::verify) {
                verifyDeclarations(tokens, cmos);
            } else if (use == Use::print) {
                std::size_t visited = 0;
                for (const smbios::IToken& token : tokens) {
                    if (visited++ == kTokensPrinted) break;
                    print(token);
                }
                auto none = tokens[0xFFFF];
                (void)none;
            } else {
                const bool write = use == Use::write && tokens.observerCount() <= kMaxObserversForWrites;
                std::size_t visited = 0;
                for (const smbios::IToken& token : tokens) {
                    if (visited++ == kTokensExercised) break;
                    exercise(token, write);
                }
            }
        } catch (const smbios::DataOutOfBounds&) {
            // A structure refused when first read (see fuzz_walk.h).
        }
    }
    smi_test::ScriptedFirmware::calls.clear();
    return 0;
}
