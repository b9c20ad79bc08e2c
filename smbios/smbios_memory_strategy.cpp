#include "smbios/smbios_strategy.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "memory/memory_factory.h"
#include "smbios/smbios_exceptions.h"

namespace smbios {

SmbiosStrategy::~SmbiosStrategy() = default;

namespace {

constexpr std::uint32_t kSearchStart = 0xE0000;
constexpr std::uint32_t kSearchLimit = 0xFFFFF;
constexpr std::uint32_t kSearchStep = 16;
// Every candidate of a search lies below kSearchLimit - 32, 16-byte aligned
// from kSearchStart; the last one (FFFD0h) is read to its 32nd byte.
constexpr std::uint32_t kSearchRangeBytes = ((kSearchLimit - 32 - 1 - kSearchStart) / kSearchStep) * kSearchStep + 32;
// A search reads the range this many bytes of candidates at a time (each
// piece with the 16 bytes that complete its last candidate): a buffer on the
// stack rather than 128 KiB allocated and filled per search, in 32 reads.
constexpr std::uint32_t kSearchPieceBytes = 4096;
static_assert(kSearchPieceBytes % kSearchStep == 0, "pieces start on candidates");

// Checks a candidate entry point; the text of every failed check becomes the
// message of `failure`. Returns whether the candidate is accepted.
bool validate(const std::uint8_t (&bytes)[32], ParseExceptionImpl& failure, bool strict) {
    const std::uint8_t length = bytes[0x05];
    unsigned sum = 0;
    if (length != 0) {
        const unsigned counted = length < 32 ? length : 32;
        for (unsigned i = 0; i < counted; ++i) sum += bytes[i];
    }
    const unsigned checksum = sum & 0xFF;

    std::string message = "validation of table entry point failed\n";
    bool failed = false;
    if (std::memcmp(bytes + 0x10, "_DMI_", 5) != 0) {
        message += "Intermediate anchor string does not match. anchor string: %(dmi_anchor)s\n";
        failed = true;
    }
    if (checksum != 0) {
        message += "Checksum check for table entry point should be zero. checksum: %(checksum)i \n";
        failed = true;
    }
    if (bytes[0x06] != 2) {
        message += "Major version of table entry point should be 2: %(major_version)i\n";
        failed = true;
    }
    if (length < 0x1F) {
        message += "Entry Point Length field is at least 0x1f : %(eps_length)i\n";
        failed = true;
    }

    const char* anchor = reinterpret_cast<const char*>(bytes + 0x10);
    failure.setParameter("dmi_anchor", std::string(anchor, strnlen(anchor, 32 - 0x10)));
    failure.setParameter("checksum", static_cast<int>(checksum));
    failure.setParameter("major_version", static_cast<int>(bytes[0x06]));
    failure.setParameter("eps_length", static_cast<int>(length));
    failure.setMessageString(message);
    return !strict || !failed;
}

}  // namespace

SmbiosMemoryStrategy::SmbiosMemoryStrategy(std::uint32_t address) : startAddress(address) {}

SmbiosEntryPoint SmbiosMemoryStrategy::findEntryPoint(bool strict) {
    memory::IMemory* memory = memory::MemoryFactory::getFactory()->getSingleton();

    ParseExceptionImpl failure;
    if (startAddress != 0) {
        failure.setMessageString("SMBIOS Header not found at offset: %(offsetValue)i");
        failure.setParameter("offsetValue", static_cast<int>(startAddress));
    } else {
        failure.setMessageString("SMBIOS Header not found in search.");
    }

    // A search reads the range in a few large pieces where the memory can
    // deliver them; from a piece it cannot deliver on, the memory is read
    // candidate by candidate, which finds the same entry point.
    std::uint32_t pieceStart = 0;
    if (startAddress == 0) {
        std::uint8_t piece[kSearchPieceBytes + 32 - kSearchStep];
        for (; pieceStart + 32 <= kSearchRangeBytes; pieceStart += kSearchPieceBytes) {
            const std::uint32_t pieceLength = std::min<std::uint32_t>(sizeof piece, kSearchRangeBytes - pieceStart);
            try {
                memory->readBlock(piece, kSearchStart + pieceStart, pieceLength);
            } catch (const std::exception&) {
                break;
            }
            for (std::uint32_t offset = 0; offset < kSearchPieceBytes && offset + 32 <= pieceLength;
                 offset += kSearchStep) {
                // The first byte alone rules out nearly every candidate.
                if (piece[offset] != '_' || std::memcmp(piece + offset, "_SM_", 4) != 0) continue;
                std::uint8_t bytes[32];
                std::memcpy(bytes, piece + offset, sizeof bytes);
                if (validate(bytes, failure, strict)) return rememberFound(kSearchStart + pieceStart + offset, bytes);
            }
        }
        if (pieceStart + 32 > kSearchRangeBytes) throw failure;
    }

    std::uint32_t candidate = startAddress != 0 ? startAddress : kSearchStart + pieceStart;
    // 64-bit so an address near the top of the range cannot wrap around.
    while (static_cast<std::uint64_t>(candidate) + 32 < kSearchLimit) {
        std::uint8_t bytes[32] = {};
        memory->readBlock(bytes, candidate, sizeof bytes);
        if (std::memcmp(bytes, "_SM_", 4) == 0 && validate(bytes, failure, strict))
            return rememberFound(candidate, bytes);
        if (startAddress != 0) throw failure;
        candidate += kSearchStep;
    }
    throw failure;
}

SmbiosEntryPoint SmbiosMemoryStrategy::rememberFound(std::uint32_t address, const std::uint8_t (&bytes)[32]) {
    startAddress = address;
    return entryPointFromBytes(bytes, sizeof bytes);
}

bool SmbiosMemoryStrategy::getSmbiosTable(TableBuffer& table, SmbiosEntryPoint& entryPoint, bool strict) {
    try {
        const SmbiosEntryPoint found = findEntryPoint(strict);
        entryPoint = found;
        // The table is read whole, exactly as long as the entry point says:
        // a read that cannot deliver that many bytes fails the strategy.
        const std::size_t length = found.tableLength;
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[length > 0 ? length : 1]());
        memory::IMemory* memory = memory::MemoryFactory::getFactory()->getSingleton();
        if (length > 0) memory->readBlock(data.get(), found.tableAddress, static_cast<std::uint32_t>(length));
        table.data = std::move(data);
        table.size = length;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace smbios
