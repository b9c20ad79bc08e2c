#ifndef VELMORA_FUZZ_FUZZ_CMOS_H
#define VELMORA_FUZZ_FUZZ_CMOS_H

// One in-memory CMOS for the whole process, made as new for every input. A
// fresh 64 KiB image per input would cost more than the rest of a cheap
// input: under AddressSanitizer freed memory waits in a quarantine of a
// quarter gigabyte, so every allocation is fresh pages, each a page fault.

#include <algorithm>
#include <cstdint>

#include "tests/unit/cmos/memory_cmos.h"

namespace fuzz {

// Every byte `fill`, the counters at zero, no write set to fail, not
// suppressed. Observers and guards detach themselves when they go, so none
// is left from the last input.
inline cmos_test::MemoryCmos& freshCmos(std::uint8_t fill) {
    static cmos_test::MemoryCmos* const cmos = new cmos_test::MemoryCmos(fill);
    std::fill(cmos->bytes.begin(), cmos->bytes.end(), fill);
    cmos->reads = 0;
    cmos->writes = 0;
    cmos->failingWrite = -1;
    cmos->setSuppressed(false);
    return *cmos;
}

}  // namespace fuzz

#endif
