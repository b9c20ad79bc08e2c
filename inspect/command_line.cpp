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
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            return args[++i];
        };
        auto noValue = [&]() {
            if (hasValue) throw UsageError(name + " takes no value");
        };

        if (name == "--version") {
            noValue();
            options.version = true;
        } else if (name == "--json") {
            noValue();
            options.json = true;
        } else if (name == "--dry-run") {
            noValue();
            options.dryRun = true;
        } else if (name == "--all") {
            noValue();
            options.all = true;
        } else if (name == "--strict") {
            noValue();
            options.strict = true;
        } else if (name == "--memory-image") {
            setSource(options, TableSource::MemoryImage, takeValue());
        } else if (name == "--dump") {
            setSource(options, TableSource::Dump, takeValue());
        } else if (name == "--sysfs") {
            setSource(options, TableSource::Sysfs, takeValue());
        } else if (name == "--cmos-image") {
            options.cmosImage = takeValue();
            if (options.cmosImage.empty()) throw UsageError("--cmos-image needs a file");
        } else if (name == "--smi-file") {
            options.smiFile = takeValue();
            if (options.smiFile.empty()) throw UsageError("--smi-file needs a file");
        } else if (name == "--offset") {
            const std::string text = takeValue();
            std::uint64_t address = 0;
            if (!parseNumber(text, 0xFFFFFFFFu, address)) {
                throw UsageError("--offset needs a 32-bit address, not \"" + text + "\"");
            }
            options.offset = static_cast<std::uint32_t>(address);
        } else {
            throw UsageError("unknown option " + name);
        }
    }
    return options;
}

}  // namespace hwinspect
