// Fuzz target: the CMOS image and memory image readers over a file holding
// the input's image bytes. Reads and writes at offsets the input picks, in
// the file and past its end; a write must be read back as written.
//
// Input: byte 0 gives the number of operations (1 + byte % 8); each is 4
// bytes (kind, three arguments); the rest is the file's content. Kinds:
// CMOS read and write (index port, offset); memory byte read, block read
// (offsets scaled by a shift, up to the 64-bit range) and byte write (inside
// the first 64 KiB, so the file stays small).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cmos/cmos_rw_file.h"
#include "fuzz/fuzz_files.h"
#include "layout/little_endian.h"
#include "memory/memory_file.h"
#include "smbios/smbios_exceptions.h"

namespace {

const std::string& imageFile() {
    static const std::string path = fuzz::scratchFile("image");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t count = 1 + data[0] % 8;
    if (size < 1 + 4 * count) return 0;
    const std::uint8_t* image = data + 1 + 4 * count;
    fuzz::writeScratchFile(imageFile(), image, size - 1 - 4 * count);

    cmos::CmosRWFile cmos(imageFile());
    memory::MemoryFile memory(imageFile());
    std::vector<std::uint8_t> block;
    for (const std::uint8_t* op = data + 1; op < image; op += 4) {
        const std::uint64_t low = layout::read16(op, 4, 2);
        try {
            switch (op[0] % 5) {
            case 0:
                (void)cmos.readByte(op[1], op[1] + 1u, op[2]);
                break;
            case 1:
                cmos.writeByte(op[1], op[1] + 1u, op[2], op[3]);
                if (cmos.readByte(op[1], op[1] + 1u, op[2]) != op[3]) std::abort();
                break;
            case 2:
                (void)memory.readByte(low << (op[1] % 64));
                break;
            case 3:
                block.assign(op[1], 0);
                memory.readBlock(block.data(), (low << 8) << (op[3] % 56), op[1]);
                break;
            default:
                memory.writeByte(low, op[1]);
                if (memory.readByte(low) != op[1]) std::abort();
                break;
            }
        } catch (const smbios::IException&) {
            // Out of the file's reach, or refused: the readers' own errors.
        }
    }
    return 0;
}
