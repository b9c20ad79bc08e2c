#include "inspect/hwinspect.h"

#include <algorithm>
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
#include "smbios/error_description.h"
#include "smbios/smbios_factory.h"
#include "smbios/token_table_factory.h"
#include "smi/smi_factory.h"

#ifndef HWINSPECT_VERSION
#  define HWINSPECT_VERSION "unknown"
#endif

namespace hwinspect {

namespace {

const char kUsageLines[] =
    "usage: hwinspect [--memory-image FILE | --dump FILE | --sysfs DIR] [--strict] [--offset ADDR]\n"
    "                 [--cmos-image FILE] [--smi-file FILE] [--json] [--dry-run] COMMAND [ARGUMENTS]\n";

// The synopsis's list of commands wraps before this column.
constexpr std::size_t kSynopsisWidth = 96;

// Where --help lists a command: with the commands that read, or with those
// that change CMOS (and their companion, cmos save).
enum class Group { Reading, Changing };

// What runs a command once its arguments are checked.
using Action = std::function<void(std::ostream&)>;

// One form of a command as users type it. Everything the tool knows of a
// command stands in its row: the command line is checked against it, and the
// synopsis and --help are built from it.
struct Command {
    std::string words;      // "table", "cmos verify"
    std::string arguments;  // "ID activate": capitals stand for values, other words are given as written
    bool json;              // offers --json
    bool dryRun;            // changes CMOS, so offers --dry-run
    std::string option;     // the one option only this command takes ("--all"), or empty
    Group group;
    std::string help;        // its lines in --help, "\n" between them
    std::string optionHelp;  // the line of "WORDS OPTION" in --help
    std::string helpAfter;   // lines --help prints as they are after the command's
    // Checks the values (the arguments' capitals, in order) and returns what
    // runs the command; throws UsageError.
    Action (*prepare)(const std::vector<std::string>& values, const Options& options);
};

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find(' ', from);
        if (to == std::string::npos) to = text.size();
        if (to > from) words.push_back(text.substr(from, to - from));
        from = to + 1;
    }
    return words;
}

bool isValue(const std::string& word) { return !word.empty() && word[0] >= 'A' && word[0] <= 'Z'; }

std::string usageOf(const Command& command) {
    return command.arguments.empty() ? command.words : command.words + " " + command.arguments;
}

std::uint64_t numberArgument(const std::string& text, std::uint64_t max, const char* what) {
    std::uint64_t value = 0;
    if (!parseNumber(text, max, value)) {
        throw UsageError(std::string(what) + " must be a number up to " + std::to_string(max) + ", not \"" + text +
                         "\"");
    }
    return value;
}

std::uint16_t tokenId(const std::string& text) {
    return static_cast<std::uint16_t>(numberArgument(text, 0xFFFF, "ID"));
}

Action changeTokenAction(const std::string& idText, TokenChange change, const std::string& text) {
    const std::uint16_t id = tokenId(idText);
    return [id, change, text](std::ostream& out) { changeToken(out, id, change, text); };
}

// Prepares a command whose one value is a file: `Run` writes or reads it.
template <void (*Run)(std::ostream&, const std::string&)>
Action withFile(const std::vector<std::string>& values, const Options&) {
    const std::string path = values[0];
    return [path](std::ostream& out) { Run(out, path); };
}

// Prepares a command without values that offers --json.
template <void (*Run)(std::ostream&, bool)>
Action withJson(const std::vector<std::string>&, const Options& options) {
    return [json = options.json](std::ostream& out) { Run(out, json); };
}

// The string keywords, as --help lists them under "string KEYWORD".
std::string keywordLines() {
    std::string lines;
    std::string line = "   ";
    for (const StringKeyword& keyword : stringKeywords()) {
        if (line.size() + 1 + std::string(keyword.name).size() > 78) {
            lines += line + "\n";
            line = "   ";
        }
        line += std::string(" ") + keyword.name;
    }
    return lines + line + "\n";
}

const std::vector<Command>& commands() {
    using Values = const std::vector<std::string>&;
    using Opts = const Options&;
    static const std::vector<Command> rows = {
        {"table", "", true, false, "", Group::Reading,
         "the table's printed form, then every structure with its\nstrings", "", "", withJson<showTable>},
        {"item", "HANDLE", true, false, "", Group::Reading, "one structure: its formatted area in hex and its strings",
         "", "",
         [](Values values, Opts options) -> Action {
             const auto handle = static_cast<std::uint16_t>(numberArgument(values[0], 0xFFFF, "HANDLE"));
             return [handle, json = options.json](std::ostream& out) { showItem(out, handle, json); };
         }},
        {"string", "TYPE OFFSET", false, false, "", Group::Reading,
         "the string whose number stands at OFFSET in the first\nstructure of TYPE, through the library's string "
         "query",
         "", "",
         [](Values values, Opts) -> Action {
             const auto type = static_cast<int>(numberArgument(values[0], 0xFF, "TYPE"));
             const auto offset = static_cast<unsigned>(numberArgument(values[1], 0xFFFF, "OFFSET"));
             return [type, offset](std::ostream& out) { showStructureString(out, type, offset); };
         }},
        {"string", "KEYWORD", false, false, "", Group::Reading,
         "the same for a field named as dmidecode -s names it:", "", keywordLines(),
         [](Values values, Opts) -> Action {
             const StringKeyword* keyword = findStringKeyword(values[0]);
             if (keyword == nullptr) throw UsageError("unknown string keyword \"" + values[0] + "\"");
             return [keyword](std::ostream& out) { showStructureString(out, keyword->type, keyword->offset); };
         }},
        {"manufacturer", "", false, false, "", Group::Reading,
         "the system manufacturer, through the library's\nmanufacturer query (type 1, offset 4)", "", "",
         [](Values, Opts) -> Action { return [](std::ostream& out) { showManufacturer(out); }; }},
        {"dump-bin", "FILE", false, false, "", Group::Reading,
         "write the table to FILE in the dump-bin layout (entry\npoint at 0, table at 0x20), which SMBIOS tools "
         "read back;\nthe entry point is a 2.x one (\"_SM_\") with the table's\nversion, also for a 3.x table",
         "", "", withFile<writeDumpBin>},
        {"tokens", "", true, false, "", Group::Reading, "the BIOS token table's printed form, one token a line", "", "",
         withJson<showTokens>},
        {"token", "ID", false, false, "", Group::Reading, "every token with that id: value and string form", "", "",
         [](Values values, Opts) -> Action {
             const std::uint16_t id = tokenId(values[0]);
             return [id](std::ostream& out) { showToken(out, id); };
         }},
        {"token", "ID activate", false, true, "", Group::Changing, "activate every token with that id", "", "",
         [](Values values, Opts) { return changeTokenAction(values[0], TokenChange::Activate, std::string()); }},
        {"token", "ID deactivate", false, true, "", Group::Changing,
         "deactivate them: a bit token whose setting is one bit\ngets the other value of that bit (several "
         "bits:\nactivate the token of the setting wanted)",
         "", "",
         [](Values values, Opts) { return changeTokenAction(values[0], TokenChange::Deactivate, std::string()); }},
        {"token", "ID set TEXT", false, true, "", Group::Changing,
         "TEXT as the string of every string token with that\nid, padded with zero bytes (longer text is refused)", "",
         "", [](Values values, Opts) { return changeTokenAction(values[0], TokenChange::Set, values[1]); }},
        {"cmos verify", "", true, false, "", Group::Reading,
         "every CMOS checksum the token structures declare,\nverified, never repaired: ok, MISMATCH, cannot "
         "be\nmaintained (and why), or no checksum declared;\nexit status 1 unless every one is ok or none",
         "", "", withJson<verifyCmos>},
        {"cmos dump", "", false, false, "--all", Group::Reading,
         "the 256 bytes behind each index port they name, in hex;\nthe clock registers 00h-0Dh behind port 70h "
         "(and 80h-8Dh,\nwhich select them too) are shown as -- and never read:\nreading 0Ch clears the clock's "
         "interrupt flags",
         "the same with the clock registers read", "",
         [](Values, Opts options) -> Action { return [all = options.all](std::ostream& out) { dumpCmos(out, all); }; }},
        {"cmos save", "FILE", false, false, "", Group::Changing,
         "every CMOS byte the token structures use (token bytes,\nchecksum ranges and locations, never the "
         "clock\nregisters) into FILE, a CMOS image that --cmos-image\nreads; writes no CMOS byte",
         "", "", withFile<saveCmos>},
        {"cmos restore", "FILE", false, true, "", Group::Changing,
         "write back the saved bytes of FILE that differ from\nCMOS, then read every saved byte back and "
         "verify every\nchecksum (exit 1 if any differs)",
         "", "", withFile<restoreCmos>},
        {"cmos repair", "", false, true, "", Group::Changing,
         "write every maintainable declared checksum that does\nnot match (exit 1 when one cannot be maintained)", "",
         "", [](Values, Opts) -> Action { return [](std::ostream& out) { repairCmos(out); }; }},
    };
    return rows;
}

// `items` as "a", "b" or "c", each in double quotes.
std::string quotedChoice(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
        text += "\"" + items[i] + "\"";
    }
    return text;
}

struct Invocation {
    const Command* command = nullptr;
    std::vector<std::string> values;
};

// The rows whose words begin the command line, with how many words they take.
std::vector<const Command*> rowsNamed(const std::vector<std::string>& words, std::size_t& nameWords) {
    std::vector<const Command*> named;
    std::vector<std::string> secondWords;
    for (const Command& command : commands()) {
        const std::vector<std::string> name = splitWords(command.words);
        if (name[0] != words[0]) continue;
        if (name.size() == 2) secondWords.push_back(name[1]);
        if (name.size() > words.size() || !std::equal(name.begin(), name.end(), words.begin())) continue;
        named.push_back(&command);
        nameWords = name.size();
    }
    if (named.empty() && !secondWords.empty() && words.size() < 2) {
        throw UsageError(words[0] + " needs " + quotedChoice(secondWords));
    }
    if (named.empty()) {
        const std::string name = secondWords.empty() ? words[0] : words[0] + " " + words[1];
        throw UsageError("unknown command \"" + name + "\"");
    }
    return named;
}

Invocation findCommand(const Options& options) {
    if (options.words.empty()) throw UsageError("no command given");
    std::size_t nameWords = 1;
    const std::vector<const Command*> named = rowsNamed(options.words, nameWords);
    const std::string& name = named.front()->words;
    const std::vector<std::string> given(options.words.begin() + static_cast<std::ptrdiff_t>(nameWords),
                                         options.words.end());
    Invocation invocation;
    bool countFits = false;
    std::vector<std::string> forms;  // what may follow the first value, for the message below
    for (const Command* command : named) {
        const std::vector<std::string> expected = splitWords(command->arguments);
        if (expected.size() > 1) {
            forms.push_back(command->arguments.substr(command->arguments.find(' ') + 1));
        }
        if (expected.size() != given.size()) continue;
        countFits = true;
        std::vector<std::string> values;
        bool matches = true;
        for (std::size_t i = 0; i < expected.size() && matches; ++i) {
            if (isValue(expected[i])) {
                values.push_back(given[i]);
            } else {
                matches = expected[i] == given[i];
            }
        }
        if (matches && invocation.command == nullptr) {
            invocation.command = command;
            invocation.values = values;
        }
    }
    if (!countFits) throw UsageError("wrong number of arguments for " + name);
    if (invocation.command == nullptr) {
        const std::string first = splitWords(named.front()->arguments).front();
        throw UsageError(name + " " + first + " takes " + quotedChoice(forms));
    }
    const Command& command = *invocation.command;
    if (options.json && !command.json) throw UsageError("--json is not offered by " + name);
    if (options.dryRun && !command.dryRun) {
        throw UsageError("--dry-run is offered by the commands that change CMOS, not by " + name);
    }
    if (options.all && command.option != "--all") {
        std::vector<std::string> offering;
        for (const Command& row : commands()) {
            if (row.option == "--all") offering.push_back(row.words);
        }
        std::string list;
        for (const std::string& words : offering) list += (list.empty() ? "" : ", ") + words;
        throw UsageError("--all is offered by " + list + " only");
    }
    return invocation;
}

// The commands of one group in --help: each usage at the left, its help
// from column `column` on.
std::string helpLines(Group group, std::size_t column) {
    std::string text;
    auto entry = [&text, column](const std::string& usage, const std::string& help) {
        std::string line = "  " + usage;
        line += line.size() < column ? std::string(column - line.size(), ' ') : std::string(" ");
        std::size_t from = 0;
        for (;;) {
            const std::size_t to = help.find('\n', from);
            text += line + help.substr(from, to == std::string::npos ? std::string::npos : to - from) + "\n";
            if (to == std::string::npos) break;
            line = std::string(column, ' ');
            from = to + 1;
        }
    };
    for (const Command& command : commands()) {
        if (command.group != group) continue;
        entry(usageOf(command), command.help);
        text += command.helpAfter;
        if (!command.option.empty()) entry(usageOf(command) + " " + command.option, command.optionHelp);
    }
    return text;
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

std::string synopsis() {
    std::string text = kUsageLines;
    std::string line = "commands:";
    const std::vector<Command>& rows = commands();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string item = usageOf(rows[i]);
        if (!rows[i].option.empty()) item += " [" + rows[i].option + "]";
        if (i + 1 < rows.size()) item += ",";
        if (line.size() + 1 + item.size() > kSynopsisWidth) {
            text += line + "\n";
            line = std::string(9, ' ');
        }
        line += " " + item;
    }
    return text + line + "\n";
}

std::vector<std::string> commandForms() {
    std::vector<std::string> forms;
    for (const Command& command : commands()) forms.push_back(usageOf(command));
    return forms;
}

std::string helpText() {
    return synopsis() +
           "\n"
           "Shows what the hardware data layer reads from the SMBIOS table: every answer\n"
           "comes from the library's own classes and queries.\n"
           "\n"
           "Commands:\n" +
           helpLines(Group::Reading, 21) +
           "\n"
           "Commands that change CMOS (the machine's, or the --cmos-image file):\n" +
           helpLines(Group::Changing, 23) +
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
           "  - these are errors here (exit status 1, the reason on standard error):\n"
           "    string number 0 (\"Not Specified\" there), a string number past the\n"
           "    strings the structure holds, an empty or all-blank string, a field\n"
           "    beyond the structure's length, no structure of the type in the\n"
           "    table, and a table that cannot be read;\n"
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
        const Invocation invocation = findCommand(options);
        const Action action = invocation.command->prepare(invocation.values, options);
        selectSources(options);
        action(out);
        return kExitOk;
    } catch (const UsageError& error) {
        err << "hwinspect: " << error.what() << "\n" << synopsis() << "\"hwinspect --help\" explains them.\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        // The sources' own reasons, where the tool kept them, stand for the
        // causes the library nested: each is shown once.
        if (sourceFailures().empty()) {
            err << "hwinspect: " << smbios::describe(error) << "\n";
        } else {
            err << "hwinspect: " << smbios::summary(error) << "\n";
            for (const std::string& failure : sourceFailures()) err << "  " << failure << "\n";
        }
        return kExitFailure;
    }
}

}  // namespace hwinspect
