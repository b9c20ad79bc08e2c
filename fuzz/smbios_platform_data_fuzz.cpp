// Fuzz target: the tables the operating system hands over. Control byte % 3:
// 0: the input is a raw SMBIOS data block of the firmware-table interface
// (unpackRawSmbiosData); 1: the second byte says how many of the following
// bytes are the kernel's "smbios_entry_point" file, the rest is its "DMI"
// file (the sysfs strategy); 2: the block comes through the interface's
// two-call protocol (fetchRawSmbiosData), whose first answer (the size) and
// second (the bytes filled) the next two bytes set relative to the block's
// size. Whatever table comes out is walked (fuzz_walk.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_files.h"
#include "fuzz/fuzz_walk.h"
#include "smbios/smbios_platform_strategies.h"
#include "smbios/smbios_table.h"

namespace {

// Delivers the raw block unpacked, as the firmware-table strategy does.
class RawBlockStrategy : public smbios::SmbiosStrategy {
public:
    RawBlockStrategy(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) override {
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[size_ > 0 ? size_ : 1]);
        if (size_ > 0) std::memcpy(buffer.get(), data_, size_);
        smbios::unpackRawSmbiosData(buffer.get(), size_, entryPoint);
        table.data = std::move(buffer);
        table.size = size_;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// The firmware-table interface answering from the input: the size it
// reports first, the count it reports filled second.
class ScriptedRawSource {
public:
    ScriptedRawSource(const std::uint8_t* data, std::size_t size, std::uint8_t neededCode, std::uint8_t filledCode)
        : data_(data), size_(size) {
        // Two codes stand for sizes no firmware has; the others move the
        // answer around the block's own size.
        if (neededCode == 0x7F) {
            needed_ = smbios::kMaxRawSmbiosData + 1;
        } else if (neededCode == 0x80) {
            needed_ = 0x80000000u;
        } else {
            needed_ = clamp(static_cast<long long>(size) + static_cast<std::int8_t>(neededCode));
        }
        filled_ = clamp(static_cast<long long>(size) + static_cast<std::int8_t>(filledCode));
    }
    smbios::RawSmbiosSource source() {
        return {[this](void* buffer, std::uint32_t room) -> std::uint32_t {
                    if (buffer == nullptr) return needed_;
                    std::memcpy(buffer, data_, size_ < room ? size_ : room);
                    return filled_;
                },
                [] { return 122u; }};
    }

private:
    static std::uint32_t clamp(long long value) { return value < 0 ? 0 : static_cast<std::uint32_t>(value); }

    const std::uint8_t* data_;
    std::size_t size_;
    std::uint32_t needed_ = 0;
    std::uint32_t filled_ = 0;
};

class FetchedBlockStrategy : public smbios::SmbiosStrategy {
public:
    explicit FetchedBlockStrategy(ScriptedRawSource& source) : source_(source) {}
    bool getSmbiosTable(smbios::TableBuffer& table, smbios::SmbiosEntryPoint& entryPoint, bool) override {
        smbios::TableBuffer fetched = smbios::fetchRawSmbiosData(source_.source());
        smbios::unpackRawSmbiosData(fetched.data.get(), fetched.size, entryPoint);
        table = std::move(fetched);
        return true;
    }

private:
    ScriptedRawSource& source_;
};

const std::string& sysfsFolder() { return fuzz::scratchFolder(); }

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    fuzz::writeScratchFile(path, data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    smbios::SmbiosTable::StrategyList strategies;
    const int mode = data[0] % 3;
    ScriptedRawSource raw(data + 3, size < 3 ? 0 : size - 3, data[1], size < 3 ? 0 : data[2]);
    if (mode == 0) {
        strategies.push_back(std::make_unique<RawBlockStrategy>(data + 1, size - 1));
    } else if (mode == 2) {
        if (size < 3) return 0;
        strategies.push_back(std::make_unique<FetchedBlockStrategy>(raw));
    } else {
        const std::size_t anchorSize = data[1] < size - 2 ? data[1] : size - 2;
        writeFile(sysfsFolder() + "/smbios_entry_point", data + 2, anchorSize);
        writeFile(sysfsFolder() + "/DMI", data + 2 + anchorSize, size - 2 - anchorSize);
        strategies.push_back(std::make_unique<smbios::SmbiosSysfsStrategy>(sysfsFolder()));
    }
    try {
        smbios::SmbiosTable table(std::move(strategies), false);
        table.installWorkarounds();
        fuzz::exerciseTable(table);
    } catch (const smbios::InternalError&) {
        // The strategy refused the bytes.
    } catch (const smbios::ParseException&) {
        // The interface's answers were refused.
    }
    return 0;
}
