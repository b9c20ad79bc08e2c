#ifndef VELMORA_SMBIOS_SMBIOS_TABLE_H
#define VELMORA_SMBIOS_SMBIOS_TABLE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "smbios/smbios_entry_point.h"
#include "smbios/smbios_item.h"
#include "smbios/smbios_iterator.h"
#include "smbios/smbios_strategy.h"
#include "smbios/smbios_structure.h"

namespace smbios {

class SmbiosWorkaroundTable;

// The in-memory copy of the firmware's SMBIOS structure table.
class ISmbiosTable {
public:
    virtual ~ISmbiosTable();
    virtual ConstSmbiosTableIterator begin() const = 0;
    virtual SmbiosTableIterator begin() = 0;
    virtual ConstSmbiosTableIterator end() const = 0;
    virtual SmbiosTableIterator end() = 0;
    // Lookup by a text key is not offered by this library: always throws NotImplemented.
    virtual ConstSmbiosTableIterator itemsByKey(const std::string& key) const = 0;
    virtual SmbiosTableIterator itemsByKey(const std::string& key) = 0;
    virtual ConstSmbiosTableIterator itemsOfType(int type) const = 0;
    virtual SmbiosTableIterator itemsOfType(int type) = 0;
    virtual void setRawAccess(bool raw) = 0;
    virtual void dropItemCache() = 0;
    virtual void loadTable() = 0;
    virtual int structureCount() const = 0;
    virtual void copyEntryPoint(SmbiosEntryPoint& out) const = 0;
    virtual std::ostream& print(std::ostream& stream) const = 0;
};

std::ostream& operator<<(std::ostream& stream, const ISmbiosTable& table);

class SmbiosTable : public virtual ISmbiosTable {
public:
    using StrategyList = std::vector<std::unique_ptr<SmbiosStrategy>>;

    // Loads the table through the first strategy that delivers one; throws
    // InternalError when none does.
    SmbiosTable(StrategyList strategies, bool strictValidation);
    ~SmbiosTable() override;
    SmbiosTable(const SmbiosTable&) = delete;
    SmbiosTable& operator=(const SmbiosTable&) = delete;

    ConstSmbiosTableIterator begin() const override;
    SmbiosTableIterator begin() override;
    ConstSmbiosTableIterator end() const override;
    SmbiosTableIterator end() override;
    ConstSmbiosTableIterator itemsByKey(const std::string& key) const override;
    SmbiosTableIterator itemsByKey(const std::string& key) override;
    ConstSmbiosTableIterator itemsOfType(int type) const override;
    SmbiosTableIterator itemsOfType(int type) override;
    void setRawAccess(bool raw) override;
    void dropItemCache() override;
    void loadTable() override;
    int structureCount() const override;
    void copyEntryPoint(SmbiosEntryPoint& out) const override;
    std::ostream& print(std::ostream& stream) const override;

    virtual void installWorkarounds();
    virtual void setStrictValidation(bool strict);
    virtual bool isStrictValidation() const;
    virtual ISmbiosItem* findCachedItem(const std::uint8_t* position) const;
    virtual void storeCachedItem(const std::uint8_t* position, ISmbiosItem* item);
    virtual ISmbiosItem* createItem(const std::uint8_t* position) const;

    // The raw table the iterators walk, and where it ends: the smaller of the
    // entry point's table length and the bytes the strategy delivered.
    const std::uint8_t* tableData() const { return tableBuffer.data.get(); }
    std::size_t tableEnd() const {
        const std::size_t declared = entryPoint.tableLength;
        return declared < tableBuffer.size ? declared : tableBuffer.size;
    }

    // How far the structure at `position` reaches within the table. A walk
    // measures each structure once: the item built for it and the step past
    // it share the measure.
    StructureExtent extentAt(const std::uint8_t* position) const;

    // The item at `position`, from the cache or built, corrected and cached.
    // Const, because reading a table through a const iterator still fills
    // the cache: the cache is bookkeeping, not part of the table's value.
    ISmbiosItem& itemAt(const std::uint8_t* position) const;

private:
    // The items handed out so far, ordered by position. A walk reaches the
    // structures in buffer order, so filling the cache only ever appends.
    using CacheEntry = std::pair<const std::uint8_t*, std::unique_ptr<ISmbiosItem>>;
    std::vector<CacheEntry>::iterator cacheSlot(const std::uint8_t* position) const;
    void cacheItem(const std::uint8_t* position, std::unique_ptr<ISmbiosItem> item) const;

    mutable std::vector<CacheEntry> itemCache;
    // Where the last lookup ended: the next one of a walk is there or behind it.
    mutable std::size_t lastHit = 0;
    // The last structure measured, and its extent.
    mutable const std::uint8_t* lastMeasured = nullptr;
    mutable StructureExtent lastExtent{0, false};
    bool rawAccess = true;
    bool strictValidation;
    std::unique_ptr<SmbiosWorkaroundTable> workarounds;
    TableBuffer tableBuffer;
    SmbiosEntryPoint entryPoint{};
    StrategyList strategies;
};

}  // namespace smbios

#endif
