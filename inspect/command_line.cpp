#include "inspect/command_line.h"

namespace hwinspect {

bool parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& out) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) return false;
    std::uint64_t value = 0;
    for (const char c : digits) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        const std::uint64_t base = hex ? 16 : 10;
        if (digit > max || value > (max - digit) / base) return false;
        value = value * base + digit;
    }
    out = value;
    return true;
}

namespace {

void setSource(Options& options, TableSource source, const std::string& path) {
    if (options.source != TableSource::Live) {
        throw UsageError("only one of --memory-image, --dump and --sysfs may be given");
    }
    if (path.empty()) throw UsageError("an empty path was given as the table's source");
    options.source = source;
    options.sourcePath = path;
}

void setFile(std::string& file, const std::string& value, const char* option) {
    if (value.empty()) throw UsageError(std::string(option) + " needs a file");
    file = value;
}

// One option: a switch sets its flag, an option with a value hands the
// value to `take`.
struct OptionRow {
    const char* name;
    bool Options::*flag;  // null for an option with a value
    void (*take)(Options& options, const std::string& value);
};

const OptionRow kOptions[] = {
    {"--version", &Options::version, nullptr},
    {"--json", &Options::json, nullptr},
    {"--dry-run", &Options::dryRun, nullptr},
    {"--all", &Options::all, nullptr},
    {"--strict", &Options::strict, nullptr},
    {"--memory-image", nullptr,
     [](Options& options, const std::string& value) { setSource(options, TableSource::MemoryImage, value); }},
    {"--dump", nullptr,
     [](Options& options, const std::string& value) { setSource(options, TableSource::Dump, value); }},
    {"--sysfs", nullptr,
     [](Options& options, const std::string& value) { setSource(options, TableSource::Sysfs, value); }},
    {"--cmos-image", nullptr,
     [](Options& options, const std::string& value) { setFile(options.cmosImage, value, "--cmos-image"); }},
    {"--smi-file", nullptr,
     [](Options& options, const std::string& value) { setFile(options.smiFile, value, "--smi-file"); }},
    {"--offset", nullptr,
     [](Options& options, const std::string& value) {
         std::uint64_t address = 0;
         if (!parseNumber(value, 0xFFFFFFFFu, address)) {
             throw UsageError("--offset needs a 32-bit address, not \"" + value + "\"");
         }
         options.offset = static_cast<std::uint32_t>(address);
     }},
};

}  // namespace

Options parseCommandLine(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            options.words.push_back(arg);
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionRow* row = nullptr;
        for (const OptionRow& option : kOptions) {
            if (name == option.name) row = &option;
        }
        if (row == nullptr) throw UsageError("unknown option " + name);
        if (row->flag != nullptr) {
            if (equals != std::string::npos) throw UsageError(name + " takes no value");
            options.*(row->flag) = true;
        } else if (equals != std::string::npos) {
            row->take(options, arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            row->take(options, args[++i]);
        } else {
            throw UsageError(name + " needs a value");
        }
    }
    return options;
}

}  // namespace hwinspect
