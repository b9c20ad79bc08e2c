#include "smbios/smbios_workarounds.h"

#include <exception>

#include "smbios/smbios_table.h"

namespace smbios {

namespace {

constexpr std::uint32_t kSystemIdStructure = 0xD0;
constexpr std::uint8_t kWideSystemId = 0xFE;
constexpr std::uint32_t kCmosTokenStructure = 0xD4;

// The CMOS token structure with handle 0xD402 declares checksum type 3
// (one's complement word checksum) where its firmware computes another.
constexpr WorkaroundEntry kChecksumType3OnD402[] = {
    {kCmosTokenStructure, 8, 1, 3},
    {kCmosTokenStructure, 2, 2, 0xD402},
    {0, 0, 0, 0},
};
constexpr WorkaroundEntry kSetWordChecksum[] = {
    {kCmosTokenStructure, 8, 1, 0},
    {0, 0, 0, 0},
};
constexpr WorkaroundEntry kSetByteChecksum[] = {
    {kCmosTokenStructure, 8, 1, 1},
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
        const ConstSmbiosTableIterator item = table.itemsOfType(kSystemIdStructure);
        if (item == table.end()) return systemId;
        std::uint8_t narrow = 0;
        item->readData(6, &narrow, 1);
        systemId = narrow;
        if (narrow == kWideSystemId) {
            std::uint8_t wide[2] = {};
            item->readData(8, wide, 2);
            systemId = static_cast<std::uint32_t>(wide[0] | wide[1] << 8);
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

SmbiosWorkaroundFactory* SmbiosWorkaroundFactory::getFactory() {
    using Instance = factory::TFactory<SmbiosWorkaroundFactory>;
    return Instance::instance<Instance>();
}

SmbiosWorkaroundTable* SmbiosWorkaroundFactory::makeNew(ISmbiosTable& table) {
    return new SmbiosWorkaroundTable(workaroundsForSystem(systemIdOf(table)));
}

}  // namespace smbios
