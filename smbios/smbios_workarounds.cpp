#include "smbios/smbios_workarounds.h"

#include <exception>

#include "layout/cmos_token_structures.h"
#include "layout/little_endian.h"
#include "layout/system_id_structure.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_item.h"
#include "smbios/smbios_table.h"

namespace smbios {

namespace {

namespace system_id = layout::system_id_structure;
constexpr std::uint32_t kCmosTokenStructure = layout::cmos_token_structure::kType;
constexpr std::uint32_t kChecksumTypeAt = layout::cmos_token_structure::kChecksumType;
constexpr std::uint32_t kHandleAt = layout::structure_header::kHandle;

// The CMOS token structure with handle 0xD402 declares checksum type 3
// (one's complement word checksum) where its firmware computes another.
constexpr WorkaroundEntry kChecksumType3OnD402[] = {
    {kCmosTokenStructure, kChecksumTypeAt, 1, 3},
    {kCmosTokenStructure, kHandleAt, 2, 0xD402},
    {0, 0, 0, 0},
};
constexpr WorkaroundEntry kSetWordChecksum[] = {
    {kCmosTokenStructure, kChecksumTypeAt, 1, 0},
    {0, 0, 0, 0},
};
constexpr WorkaroundEntry kSetByteChecksum[] = {
    {kCmosTokenStructure, kChecksumTypeAt, 1, 1},
    {0, 0, 0, 0},
};

constexpr WorkaroundDefinition kInvalidChecksumType = {"Invalid Checksum Type", kChecksumType3OnD402, kSetWordChecksum};
constexpr WorkaroundDefinition kKv4471InvalidChecksumType = {"KV4471 Invalid Checksum Type", kChecksumType3OnD402,
                                                             kSetByteChecksum};

constexpr const WorkaroundDefinition* kInvalidChecksumTypeList[] = {&kInvalidChecksumType, nullptr};
constexpr const WorkaroundDefinition* kKv4471List[] = {&kKv4471InvalidChecksumType, nullptr};

// A system a selection row applies to. The BIOS version texts are recorded
// with the row; the selection does not consult them.
struct WorkaroundSystem {
    std::uint32_t systemId;
    char biosVersions[2][4];
};

struct WorkaroundSelection {
    const WorkaroundSystem* system;
    WorkaroundList workarounds;
};

constexpr WorkaroundSystem kAffectedSystems[] = {
    {kInvalidChecksumTypeSystemIds[0], {"", ""}},  {kInvalidChecksumTypeSystemIds[1], {"", ""}},
    {kInvalidChecksumTypeSystemIds[2], {"", ""}},  {kInvalidChecksumTypeSystemIds[3], {"", ""}},
    {kInvalidChecksumTypeSystemIds[4], {"", ""}},  {kInvalidChecksumTypeSystemIds[5], {"", ""}},
    {kInvalidChecksumTypeSystemIds[6], {"", ""}},  {kInvalidChecksumTypeSystemIds[7], {"", ""}},
    {kInvalidChecksumTypeSystemIds[8], {"", ""}},  {kInvalidChecksumTypeSystemIds[9], {"", ""}},
    {kInvalidChecksumTypeSystemIds[10], {"", ""}}, {kKv4471SystemId, {"", ""}},
};

constexpr WorkaroundSelection kSelectionTable[] = {
    {&kAffectedSystems[0], kInvalidChecksumTypeList},  {&kAffectedSystems[1], kInvalidChecksumTypeList},
    {&kAffectedSystems[2], kInvalidChecksumTypeList},  {&kAffectedSystems[3], kInvalidChecksumTypeList},
    {&kAffectedSystems[4], kInvalidChecksumTypeList},  {&kAffectedSystems[5], kInvalidChecksumTypeList},
    {&kAffectedSystems[6], kInvalidChecksumTypeList},  {&kAffectedSystems[7], kInvalidChecksumTypeList},
    {&kAffectedSystems[8], kInvalidChecksumTypeList},  {&kAffectedSystems[9], kInvalidChecksumTypeList},
    {&kAffectedSystems[10], kInvalidChecksumTypeList}, {&kAffectedSystems[11], kKv4471List},
};
static_assert(sizeof(kSelectionTable) / sizeof(kSelectionTable[0]) == 12, "one row per affected model");

}  // namespace

std::uint32_t systemIdOf(const ISmbiosTable& table) {
    std::uint32_t systemId = 0;
    try {
        const ConstSmbiosTableIterator item = table.itemsOfType(system_id::kType);
        if (item == table.end()) return systemId;
        std::uint8_t narrow = 0;
        item->readData(system_id::kSystemId, &narrow, 1);
        systemId = narrow;
        if (narrow == system_id::kWideSystemIdFollows) {
            std::uint8_t wide[2] = {};
            item->readData(system_id::kWideSystemId, wide, 2);
            systemId = layout::read16(wide, 0);
        }
    } catch (const std::exception&) {
        // A missing or short structure leaves the identifier as far as it was read.
    }
    return systemId;
}

WorkaroundList workaroundsForSystem(std::uint32_t systemId) {
    for (const WorkaroundSelection& row : kSelectionTable) {
        if (row.system->systemId == systemId) return row.workarounds;
    }
    return nullptr;
}

namespace {

// The low `size` bytes of `value`, little-endian, as a symptom or fix holds them.
std::uint8_t entryByte(const WorkaroundEntry& entry, std::uint32_t index) { return layout::byteOf(entry.value, index); }

// Reads through readData, so a symptom outside the formatted area throws
// DataOutOfBounds rather than being taken as a mismatch.
bool symptomsHold(const ISmbiosItem& item, const WorkaroundEntry* symptoms) {
    for (const WorkaroundEntry* symptom = symptoms; symptom->type != 0; ++symptom) {
        std::uint8_t bytes[8] = {};
        const std::uint32_t count = symptom->size < 8 ? symptom->size : 8;
        item.readData(symptom->offset, bytes, count);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (bytes[i] != entryByte(*symptom, i)) return false;
        }
    }
    return true;
}

}  // namespace

// Changes only the item's copy; the table's raw bytes stay as the firmware
// wrote them.
void applyWorkaroundsTo(const ISmbiosItem& item, std::uint8_t* bytes, std::size_t size,
                        const SmbiosWorkaroundTable* workarounds) {
    if (workarounds == nullptr || workarounds->workarounds() == nullptr) return;
    for (WorkaroundList definition = workarounds->workarounds(); *definition != nullptr; ++definition) {
        const WorkaroundEntry* symptoms = (*definition)->symptoms;
        if (symptoms->type == 0 || symptoms->type != item.type()) continue;
        if (!symptomsHold(item, symptoms)) continue;
        for (const WorkaroundEntry* fix = (*definition)->fixes; fix->type != 0; ++fix) {
            if (fix->offset > size || fix->size > size - fix->offset) {
                InternalErrorImpl error(
                    "Data overflow. Offset requested is larger than data size. offset: %(offset)i, data size: "
                    "%(size)i");
                error.setParameter("offset", static_cast<int>(fix->offset));
                error.setParameter("size", static_cast<int>(size));
                throw error;
            }
            for (std::uint32_t i = 0; i < fix->size; ++i) bytes[fix->offset + i] = entryByte(*fix, i);
        }
    }
}

SmbiosWorkaroundFactory* SmbiosWorkaroundFactory::getFactory() {
    using Instance = factory::TFactory<SmbiosWorkaroundFactory>;
    return Instance::instance<Instance>();
}

SmbiosWorkaroundTable* SmbiosWorkaroundFactory::makeNew(ISmbiosTable& table) {
    return new SmbiosWorkaroundTable(workaroundsForSystem(systemIdOf(table)));
}

}  // namespace smbios
