// Fuzz target: the tables the operating system hands over. Control byte even:
// the input is a raw SMBIOS data block of the firmware-table interface
// (unpackRawSmbiosData); odd: the second byte says how many of the following
// bytes are the kernel's "smbios_entry_point" file, the rest is its "DMI"
// file (the sysfs strategy). Whatever table comes out is walked in full.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

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

const std::string& sysfsFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/velmora-fuzz-sysfs-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) std::abort();
        return std::string(made);
    }();
    return folder;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    smbios::SmbiosTable::StrategyList strategies;
    if ((data[0] & 1) == 0) {
        strategies.push_back(std::make_unique<RawBlockStrategy>(data + 1, size - 1));
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
    }
    return 0;
}
