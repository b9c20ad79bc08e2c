#include "inspect/hwinspect.h"

#include <exception>
#include <functional>

#include "cmos/cmos_rw_factory.h"
#include "factory/tfactory.h"
#include "inspect/cmos_commands.h"
#include "inspect/command_line.h"
#include "inspect/inspect_error.h"
#include "inspect/smbios_commands.h"
#include "inspect/sources.h"
#include "inspect/string_keywords.h"
#include "inspect/token_commands.h"
#include "inspect/write_commands.h"
#include "memory/memory_factory.h"
#include "smbios/smbios_factory.h"
#include "smbios/token_table_factory.h"
#include "smi/smi_factory.h"

#ifndef HWINSPECT_VERSION
#  define HWINSPECT_VERSION "unknown"
#endif

namespace hwinspect {

namespace {

const char kSynopsis[] =
    "usage: hwinspect [--memory-image FILE | --dump FILE | --sysfs DIR] [--strict] [--offset ADDR]\n"
    "                 [--cmos-image FILE] [--smi-file FILE] [--json] [--dry-run] COMMAND [ARGUMENTS]\n"
    "commands: table, item HANDLE, string TYPE OFFSET, string KEYWORD, manufacturer, dump-bin FILE,\n"
    "          tokens, token ID, token ID activate, token ID deactivate, token ID set TEXT,\n"
    "          cmos verify, cmos dump [--all], cmos save FILE, cmos restore FILE, cmos repair\n";

// What a wrong command line gets on standard error.
const std::string kUsage = std::string(kSynopsis) + "\"hwinspect --help\" explains them.\n";

// A command word (two for "cmos ...") with the number of arguments it takes,
// whether it has a JSON form and whether it may change CMOS (--dry-run).
// "token" changes CMOS only with a second word.
struct CommandSpec {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;
    bool json;
    bool writes;
};

const CommandSpec kCommands[] = {
    {"table", 0, 0, true, false},         {"item", 1, 1, true, false},         {"string", 1, 2, false, false},
    {"manufacturer", 0, 0, false, false}, {"dump-bin", 1, 1, false, false},    {"tokens", 0, 0, true, false},
    {"token", 1, 3, false, true},         {"cmos verify", 0, 0, true, false},  {"cmos dump", 0, 0, false, false},
    {"cmos save", 1, 1, false, false},    {"cmos restore", 1, 1, false, true}, {"cmos repair", 0, 0, false, true},
};

struct Invocation {
    const CommandSpec* spec = nullptr;
    std::vector<std::string> args;
};

Invocation findCommand(const Options& options) {
    if (options.words.empty()) throw UsageError("no command given");
    // "cmos" takes a second word that names what it does.
    std::size_t nameWords = 1;
    std::string name = options.words[0];
    if (name == "cmos") {
        if (options.words.size() < 2) {
            throw UsageError("cmos needs \"verify\", \"dump\", \"save\", \"restore\" or \"repair\"");
        }
        name += " " + options.words[1];
        nameWords = 2;
    }
    Invocation invocation;
    for (const CommandSpec& spec : kCommands) {
        if (name == spec.name) invocation.spec = &spec;
    }
    if (invocation.spec == nullptr) throw UsageError("unknown command \"" + name + "\"");
    const CommandSpec& spec = *invocation.spec;
    invocation.args.assign(options.words.begin() + static_cast<std::ptrdiff_t>(nameWords), options.words.end());
    if (invocation.args.size() < spec.minArgs || invocation.args.size() > spec.maxArgs) {
        throw UsageError(std::string("wrong number of arguments for ") + spec.name);
    }
    if (options.json && !spec.json) throw UsageError(std::string("--json is not offered by ") + spec.name);
    const bool changesCmos = spec.writes && (std::string(spec.name) != "token" || invocation.args.size() > 1);
    if (options.dryRun && !changesCmos) {
        throw UsageError(std::string("--dry-run is offered by the commands that change CMOS, not by ") + spec.name);
    }
    if (options.all && std::string(spec.name) != "cmos dump") throw UsageError("--all is offered by cmos dump only");
    return invocation;
}

std::uint64_t numberArgument(const std::string& text, std::uint64_t max, const char* what) {
    std::uint64_t value = 0;
    if (!parseNumber(text, max, value)) {
        throw UsageError(std::string(what) + " must be a number up to " + std::to_string(max) + ", not \"" + text +
                         "\"");
    }
    return value;
}

// Checks the arguments of the command (usage errors) and returns what runs
// it, so that no source is touched for a command line that is wrong.
std::function<void(std::ostream&)> prepare(const Invocation& invocation, const Options& options) {
    const std::string name = invocation.spec->name;
    const std::vector<std::string>& args = invocation.args;
    if (name == "table") {
        return [json = options.json](std::ostream& out) { showTable(out, json); };
    }
    if (name == "item") {
        const auto handle = static_cast<std::uint16_t>(numberArgument(args[0], 0xFFFF, "HANDLE"));
        return [handle, json = options.json](std::ostream& out) { showItem(out, handle, json); };
    }
    if (name == "string" && args.size() == 2) {
        const auto type = static_cast<int>(numberArgument(args[0], 0xFF, "TYPE"));
        const auto offset = static_cast<unsigned>(numberArgument(args[1], 0xFFFF, "OFFSET"));
        return [type, offset](std::ostream& out) { showStructureString(out, type, offset); };
    }
    if (name == "string") {
        const StringKeyword* keyword = findStringKeyword(args[0]);
        if (keyword == nullptr) throw UsageError("unknown string keyword \"" + args[0] + "\"");
        return [keyword](std::ostream& out) { showStructureString(out, keyword->type, keyword->offset); };
    }
    if (name == "manufacturer") {
        return [](std::ostream& out) { showManufacturer(out); };
    }
    if (name == "dump-bin") {
        const std::string path = args[0];
        return [path](std::ostream& out) { writeDumpBin(out, path); };
    }
    if (name == "tokens") {
        return [json = options.json](std::ostream& out) { showTokens(out, json); };
    }
    if (name == "token") {
        const auto id = static_cast<std::uint16_t>(numberArgument(args[0], 0xFFFF, "ID"));
        if (args.size() == 1) return [id](std::ostream& out) { showToken(out, id); };
        const std::string& what = args[1];
        TokenChange change = TokenChange::Set;
        if (what == "activate" && args.size() == 2) {
            change = TokenChange::Activate;
        } else if (what == "deactivate" && args.size() == 2) {
            change = TokenChange::Deactivate;
        } else if (what != "set" || args.size() != 3) {
            throw UsageError("token ID takes \"activate\", \"deactivate\" or \"set TEXT\"");
        }
        const std::string text = args.size() == 3 ? args[2] : std::string();
        return [id, change, text](std::ostream& out) { changeToken(out, id, change, text); };
    }
    if (name == "cmos verify") {
        return [json = options.json](std::ostream& out) { verifyCmos(out, json); };
    }
    if (name == "cmos save") {
        const std::string path = args[0];
        return [path](std::ostream& out) { saveCmos(out, path); };
    }
    if (name == "cmos restore") {
        const std::string path = args[0];
        return [path](std::ostream& out) { restoreCmos(out, path); };
    }
    if (name == "cmos repair") {
        return [](std::ostream& out) { repairCmos(out); };
    }
    return [all = options.all](std::ostream& out) { dumpCmos(out, all); };
}

// Leaves no factory of this run behind: the next run (or a test) starts from
// the defaults. The token table goes first: it holds the CMOS accessor.
struct FactoryReset {
    ~FactoryReset() {
        factory::TFactory<smbios::TokenTableFactory>::resetInstance();
        factory::TFactory<smbios::SmbiosFactory>::resetInstance();
        factory::TFactory<cmos::CmosRWFactory>::resetInstance();
        factory::TFactory<smi::SmiFactory>::resetInstance();
        factory::TFactory<memory::MemoryFactory>::resetInstance();
    }
};

}  // namespace

std::string helpText() {
    std::string keywords;
    std::string line = "   ";
    for (const StringKeyword& keyword : stringKeywords()) {
        if (line.size() + 1 + std::string(keyword.name).size() > 78) {
            keywords += line + "\n";
            line = "   ";
        }
        line += std::string(" ") + keyword.name;
    }
    keywords += line + "\n";

    return std::string(kSynopsis) +
           "\n"
           "Shows what the hardware data layer reads from the SMBIOS table: every answer\n"
           "comes from the library's own classes and queries.\n"
           "\n"
           "Commands:\n"
           "  table              the table's printed form, then every structure with its\n"
           "                     strings\n"
           "  item HANDLE        one structure: its formatted area in hex and its strings\n"
           "  string TYPE OFFSET the string whose number stands at OFFSET in the first\n"
           "                     structure of TYPE, through the library's string query\n"
           "  string KEYWORD     the same for a field named as dmidecode -s names it:\n" +
           keywords +
           "  manufacturer       the system manufacturer, through the library's\n"
           "                     manufacturer query (type 1, offset 4)\n"
           "  dump-bin FILE      write the table to FILE in the dump-bin layout (entry\n"
           "                     point at 0, table at 0x20), which SMBIOS tools read back\n"
           "  tokens             the BIOS token table's printed form, one token a line\n"
           "  token ID           every token with that id: value and string form\n"
           "  cmos verify        every CMOS checksum the token structures declare,\n"
           "                     verified, never repaired: ok, MISMATCH, cannot be\n"
           "                     maintained (and why), or no checksum declared;\n"
           "                     exit status 1 unless every one is ok or none\n"
           "  cmos dump          the 256 bytes behind each index port they name, in hex;\n"
           "                     the clock registers 00h-0Dh behind port 70h (and 80h-8Dh,\n"
           "                     which select them too) are shown as -- and never read:\n"
           "                     reading 0Ch clears the clock's interrupt flags\n"
           "  cmos dump --all    the same with the clock registers read\n"
           "\n"
           "Commands that change CMOS (the machine's, or the --cmos-image file):\n"
           "  token ID activate    activate every token with that id\n"
           "  token ID deactivate  deactivate them: a bit token whose setting is one bit\n"
           "                       gets the other value of that bit (several bits:\n"
           "                       activate the token of the setting wanted)\n"
           "  token ID set TEXT    TEXT as the string of every string token with that\n"
           "                       id, padded with zero bytes (longer text is refused)\n"
           "  cmos save FILE       every CMOS byte the token structures use (token bytes,\n"
           "                       checksum ranges and locations, never the clock\n"
           "                       registers) into FILE, a CMOS image that --cmos-image\n"
           "                       reads; writes no CMOS byte\n"
           "  cmos restore FILE    write back the saved bytes of FILE that differ from\n"
           "                       CMOS, then read every saved byte back and verify every\n"
           "                       checksum (exit 1 if any differs)\n"
           "  cmos repair          write every maintainable declared checksum that does\n"
           "                       not match (exit 1 when one cannot be maintained)\n"
           "  --dry-run            with the commands above: change nothing, list every\n"
           "                       byte that would change\n"
           "  Every write goes through the token table: each checksum the token\n"
           "  structures declare over a written byte is kept up to date, and a write\n"
           "  that would stale a checksum that cannot be maintained is refused before\n"
           "  any byte changes (exit 1 with the reason). Each command\n"
           "  lists the bytes it changed (\"changed: index port, data port, offset: old\n"
           "  -> new\"; with --dry-run \"would change: ...\"). A command that fails\n"
           "  part-way puts back the bytes it had changed and says so (exit 1). Tokens\n"
           "  of the calling interface are changed through it, never in a dry run.\n"
           "  On Linux the ports are written through /dev/port (root), each byte read\n"
           "  back; on Windows writing the ports is not available.\n"
           "\n"
           "Where the table comes from (at most one; default: this machine):\n"
           "  --memory-image FILE  FILE read as physical memory; the entry point is\n"
           "                       searched from 0xE0000 on, or taken at --offset\n"
           "  --dump FILE          a dump-bin file with a 2.x or 3.x entry point\n"
           "  --sysfs DIR          a folder holding smbios_entry_point and DMI, laid out\n"
           "                       like /sys/firmware/dmi/tables\n"
           "  This machine: on Windows physical memory, the firmware-table interface,\n"
           "  then WMI; on Linux /sys/firmware/dmi/tables, then /dev/mem.\n"
           "  --cmos-image FILE    CMOS from FILE, 256 bytes per index port value\n"
           "                       (default: the machine's ports)\n"
           "  --smi-file FILE      the calling interface's requests and answers in FILE\n"
           "                       (default: the machine's firmware)\n"
           "\n"
           "Options:\n"
           "  --strict         accept only an entry point that passes every check\n"
           "                   (physical memory and --memory-image)\n"
           "  --offset ADDR    the entry point's address instead of a search (physical\n"
           "                   memory and --memory-image)\n"
           "  --dry-run        see the commands that change CMOS\n"
           "  --json           one JSON document on standard output (table, item, tokens,\n"
           "                   cmos verify);\n"
           "                   bytes 0x80 and above in strings come out as \\u0080-\\u00ff\n"
           "  --help, --version\n"
           "Numbers are decimal, or hexadecimal after 0x.\n"
           "\n"
           "How \"string\" differs from dmidecode -s (this layer's rules):\n"
           "  - trailing blanks are removed (leading blanks, tabs and the like stay);\n"
           "  - string number 0 (\"Not Specified\" there), an empty or all-blank string,\n"
           "    a field beyond the structure's length and a missing structure are\n"
           "    errors here (exit status 1, the reason on standard error);\n"
           "  - only the first structure of the type is read (dmidecode prints one line\n"
           "    per structure, e.g. per processor);\n"
           "  - control characters are printed as '.', as there.\n"
           "\n"
           "Exit status: 0 done; 1 the data could not be read (the reason on standard\n"
           "error); 2 the command line is wrong.\n";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const FactoryReset reset;
    sourceFailures().clear();
    try {
        const Options options = parseCommandLine(args);
        if (options.help) {
            out << helpText();
            return kExitOk;
        }
        if (options.version) {
            out << "hwinspect " << HWINSPECT_VERSION << "\n";
            return kExitOk;
        }
        const std::function<void(std::ostream&)> action = prepare(findCommand(options), options);
        selectSources(options);
        action(out);
        return kExitOk;
    } catch (const UsageError& error) {
        err << "hwinspect: " << error.what() << "\n" << kUsage;
        return kExitUsage;
    } catch (const std::exception& error) {
        err << "hwinspect: " << reasonOf(error) << "\n";
        for (const std::string& failure : sourceFailures()) err << "  " << failure << "\n";
        return kExitFailure;
    }
}

}  // namespace hwinspect
