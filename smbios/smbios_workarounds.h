#ifndef VELMORA_SMBIOS_SMBIOS_WORKAROUNDS_H
#define VELMORA_SMBIOS_SMBIOS_WORKAROUNDS_H

#include <cstddef>
#include <cstdint>

#include "factory/tfactory.h"

namespace smbios {

class ISmbiosItem;
class ISmbiosTable;

// One condition on, or one correction of, a structure: `size` bytes (1 to 8)
// at `offset`, compared with or set to the low `size` bytes of `value` in
// little-endian order. A type of 0 ends a list of entries.
struct WorkaroundEntry {
    std::uint32_t type;
    std::uint32_t offset;
    std::uint32_t size;
    std::uint64_t value;
};

// A known firmware defect: when every symptom holds for a structure, every
// fix is applied to it. Only the first symptom's type is compared with the
// structure's type; the later ones only mark that the list goes on.
struct WorkaroundDefinition {
    const char* name;
    const WorkaroundEntry* symptoms;
    const WorkaroundEntry* fixes;
};

// A null-terminated list of definitions, as chosen for one system.
using WorkaroundList = const WorkaroundDefinition* const*;

// The system identifier the maker's type 0xD0 structure carries: byte 6, or
// the 16-bit value at offset 8 when byte 6 is the escape 0xFE. A table
// without such a structure has 0; when reading the 16-bit form fails, the
// identifier stays 0xFE. Never throws.
std::uint32_t systemIdOf(const ISmbiosTable& table);

// The workaround list for a system identifier; null when none applies.
WorkaroundList workaroundsForSystem(std::uint32_t systemId);

// The maker's system ids of the server models whose firmware declares the
// checksum type of its CMOS token structure wrongly. The maker's ids are to
// be filled in here; until then these are placeholders above 0xFF, which a
// 0xD0 structure can only carry in its 16-bit form.
inline constexpr std::uint32_t kInvalidChecksumTypeSystemIds[11] = {
    0xF001, 0xF002, 0xF003, 0xF004, 0xF005, 0xF006, 0xF007, 0xF008, 0xF009, 0xF00A, 0xF00B,
};
// The one model whose firmware needs the other checksum type (placeholder).
inline constexpr std::uint32_t kKv4471SystemId = 0xF00C;

// The corrections chosen for one table's known firmware defects.
class SmbiosWorkaroundTable {
public:
    explicit SmbiosWorkaroundTable(WorkaroundList workarounds = nullptr) : workarounds_(workarounds) {}
    virtual ~SmbiosWorkaroundTable() = default;

    // Null when the system has no known defects.
    WorkaroundList workarounds() const { return workarounds_; }

private:
    WorkaroundList workarounds_;
};

// Corrects `bytes`, the `size` bytes of `item`'s own buffer, in place for
// each definition of `workarounds` whose symptoms all hold. A symptom read
// outside the formatted area throws DataOutOfBounds; a fix outside the
// buffer throws InternalError.
void applyWorkaroundsTo(const ISmbiosItem& item, std::uint8_t* bytes, std::size_t size,
                        const SmbiosWorkaroundTable* workarounds);

// The process-wide source of workaround tables.
class SmbiosWorkaroundFactory : public factory::TFactory<factory::IFactory> {
public:
    // Created on first use; never owned by the caller.
    static SmbiosWorkaroundFactory* getFactory();

    // The workarounds for the system `table` describes, owned by the caller.
    virtual SmbiosWorkaroundTable* makeNew(ISmbiosTable& table);
};

}  // namespace smbios

#endif
