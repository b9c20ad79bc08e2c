// Fuzz target: the length checks of the firmware-table interface's two-call
// protocol (fetchRawSmbiosData) over answers taken from the input. A fetch
// succeeds exactly when the size answer is above 0 as a signed value and at
// most kMaxRawSmbiosData, and the count filled is at least a header and at
// most the room given; then the table holds exactly the bytes filled, what
// the interface wrote and zeros behind it, and unpacks. Every refusal is a
// ParseException carrying the system's error code.
//
// Input: bytes 0 to 3 the size answer, 4 to 7 the count filled, both 32-bit
// little-endian; the rest is the block the interface copies, as far as the
// room given allows. A size between 64 KiB and kMaxRawSmbiosData becomes its
// low 16 bits, so no input costs a table of megabytes (the largest size
// accepted is a test of its own).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_platform_strategies.h"

namespace {

constexpr std::uint32_t kCheapSize = 0x10000;
constexpr std::uint32_t kLastError = 87;
constexpr std::size_t kHeader = 8;

std::uint32_t cheap(std::uint32_t size) {
    return size > kCheapSize && size <= smbios::kMaxRawSmbiosData ? size & 0xFFFF : size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    const std::uint32_t needed = cheap(layout::read32(data, size, 0));
    const std::uint32_t filled = layout::read32(data, size, 4);
    const std::uint8_t* const block = data + 8;
    const std::size_t blockSize = size - 8;

    int calls = 0;
    std::uint32_t roomGiven = 0;
    std::size_t written = 0;
    const smbios::RawSmbiosSource source{[&](void* buffer, std::uint32_t room) -> std::uint32_t {
                                             if (++calls == 1) {
                                                 if (buffer != nullptr || room != 0) std::abort();
                                                 return needed;
                                             }
                                             if (calls > 2 || buffer == nullptr) std::abort();
                                             roomGiven = room;
                                             written = blockSize < room ? blockSize : room;
                                             if (written > 0) std::memcpy(buffer, block, written);
                                             return filled;
                                         },
                                         [] { return kLastError; }};

    const bool acceptable = static_cast<std::int32_t>(needed) > 0 && needed <= smbios::kMaxRawSmbiosData &&
                            filled >= kHeader && filled <= needed;
    try {
        smbios::TableBuffer table = smbios::fetchRawSmbiosData(source);
        if (!acceptable || roomGiven != needed || table.size != filled || !table.data) std::abort();
        const std::size_t copied = written < filled ? written : filled;
        if (std::memcmp(table.data.get(), block, copied) != 0) std::abort();
        for (std::size_t i = copied; i < filled; ++i) {
            if (table.data[i] != 0) std::abort();  // nothing but what the interface wrote
        }
        smbios::SmbiosEntryPoint entryPoint{};
        smbios::unpackRawSmbiosData(table.data.get(), table.size, entryPoint);
        if (entryPoint.tableLength != (table.size < 0xFFFF ? table.size : 0xFFFF)) std::abort();
    } catch (const smbios::ParseExceptionImpl& error) {
        if (acceptable || error.getParameterNum("last_error") != static_cast<int>(kLastError)) std::abort();
    }
    return 0;
}
