// Fuzz target: hwinspect over a dump-bin file from the input: the dump
// reader (its entry point forms, table address and length), every command
// that reads the table, tokens and CMOS, and the text and JSON writers. The
// run reads only files of this target's own folder, a CMOS image and an SMI
// file among them, so nothing of the machine is touched.
//
// Input: byte 0 chooses the command, byte 1 its options (bit 0 --json, bit 1
// --strict, bit 2 --dry-run, bit 3 --all), bytes 2 and 3 its numbers (handle,
// token id, type and offset, keyword); byte 4 times 16 is how many of the
// last bytes are the CMOS image (none: every byte reads 0xFF); the bytes
// between are the dump file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "inspect/command_line.h"
#include "inspect/dump_file_strategy.h"
#include "inspect/hwinspect.h"
#include "inspect/string_keywords.h"
#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"

namespace {

std::string path(const char* name) { return fuzz::scratchFile(name); }

std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// `which` picks the command; its numbers come from the two bytes at `operands`.
std::vector<std::string> command(std::uint8_t which, const std::uint8_t operands[2]) {
    const std::uint8_t a = operands[0], b = operands[1];
    const std::string number = hex(layout::read16(operands, 2, 0));
    const auto& keywords = hwinspect::stringKeywords();
    switch (which % 18) {
    case 0:
        return {"table"};
    case 1:
        return {"item", number};
    case 2:
        return {"string", hex(a), hex(b)};
    case 3:
        return {"string", keywords.empty() ? "none" : keywords[a % keywords.size()].name};
    case 4:
        return {"manufacturer"};
    case 5:
        return {"dump-bin", path("out.bin")};
    case 6:
        return {"tokens"};
    case 7:
        return {"token", number};
    case 8:
        return {"token", number, "activate"};
    case 9:
        return {"token", number, "deactivate"};
    case 10:
        return {"token", number, "set", "Fuzz"};
    case 11:
        return {"cmos", "verify"};
    case 12:
        return {"cmos", "dump"};
    case 13:
        return {"cmos", "save", path("saved.cmos")};
    case 14:
        return {"cmos", "restore", path("cmos.img")};
    case 15:
        return {"cmos", "repair"};
    case 16:
        return {"item", hex(a)};
    default:
        return {"token", hex(a)};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const std::size_t rest = size - 5;
    const std::size_t cmosSize = static_cast<std::size_t>(data[4]) * 16 < rest ? data[4] * 16u : rest;
    const std::uint8_t* dump = data + 5;
    const std::size_t dumpSize = rest - cmosSize;

    // The reader on its own, over exactly the file's bytes.
    {
        const std::vector<std::uint8_t> file(dump, dump + dumpSize);
        smbios::TableBuffer table;
        smbios::SmbiosEntryPoint entryPoint{};
        try {
            hwinspect::readDumpBin(file, table, entryPoint);
            if (table.size == 0 || table.size > 0xFFFF || table.size > file.size()) std::abort();
            if (entryPoint.tableLength != table.size) std::abort();
        } catch (const smbios::ParseException&) {
        }
    }

    // The whole tool.
    fuzz::writeScratchFile(path("dump.bin"), dump, dumpSize);
    fuzz::writeScratchFile(path("cmos.img"), dump + dumpSize, cmosSize);
    std::vector<std::string> args = {"--dump",         path("dump.bin"), "--cmos-image",
                                     path("cmos.img"), "--smi-file",     path("smi")};
    const std::uint8_t options = data[1];
    if (options & 1) args.push_back("--json");
    if (options & 2) args.push_back("--strict");
    if (options & 4) args.push_back("--dry-run");
    if (options & 8) args.push_back("--all");
    for (std::string& word : command(data[0], data + 2)) args.push_back(std::move(word));
    std::ostringstream out;
    std::ostringstream err;
    const int status = hwinspect::run(args, out, err);
    if (status != hwinspect::kExitOk && status != hwinspect::kExitFailure && status != hwinspect::kExitUsage)
        std::abort();
    return 0;
}
