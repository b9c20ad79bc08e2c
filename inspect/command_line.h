#ifndef VELMORA_INSPECT_COMMAND_LINE_H
#define VELMORA_INSPECT_COMMAND_LINE_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace hwinspect {

// Where the SMBIOS table comes from.
enum class TableSource {
    Live,         // the machine this runs on
    MemoryImage,  // a file read as physical memory (the factories' test mode)
    Dump,         // a file in the dump-bin layout
    Sysfs,        // a folder laid out like /sys/firmware/dmi/tables
};

struct Options {
    TableSource source = TableSource::Live;
    std::string sourcePath;  // the file or folder of a source other than Live
    std::string cmosImage;   // empty: the machine's CMOS
    std::string smiFile;     // empty: the machine's calling interface
    bool strict = false;
    std::uint32_t offset = 0;  // 0: search for the entry point
    bool json = false;
    bool dryRun = false;  // the write commands change nothing, list what they would
    bool all = false;     // cmos dump: the clock registers too
    bool help = false;
    bool version = false;
    // The command word and its arguments, in order.
    std::vector<std::string> words;
};

// A command line that cannot be run as given: exit status 2 with the usage text.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Options may stand before, between or after the command's words, as
// "--name value" or "--name=value". Throws UsageError.
Options parseCommandLine(const std::vector<std::string>& args);

// A number as people write them for firmware: "0x" and hexadecimal digits, or
// decimal digits; nothing else, and not above `max`. False otherwise.
bool parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& out);

}  // namespace hwinspect

#endif
