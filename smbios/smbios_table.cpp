#include "smbios/smbios_table.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <string>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_workarounds.h"
#include "smbios/stream_state_guard.h"

namespace smbios {

ISmbiosTable::~ISmbiosTable() = default;

std::ostream& operator<<(std::ostream& stream, const ISmbiosTable& table) { return table.print(stream); }

SmbiosTable::SmbiosTable(StrategyList strategyList, bool strict)
    : strictValidation(strict), strategies(std::move(strategyList)) {
    loadTable();
}

SmbiosTable::~SmbiosTable() {
    dropItemCache();
    entryPoint = SmbiosEntryPoint{};
}

ConstSmbiosTableIterator SmbiosTable::begin() const { return ConstSmbiosTableIterator(this, -1); }
SmbiosTableIterator SmbiosTable::begin() { return SmbiosTableIterator(this, -1); }
ConstSmbiosTableIterator SmbiosTable::end() const { return ConstSmbiosTableIterator(); }
SmbiosTableIterator SmbiosTable::end() { return SmbiosTableIterator(); }

namespace {
constexpr const char* kNoKeyLookup =
    "This is an enhanced function call that is not available in the base Smbios library. You must be using an "
    "enhanced library such as Tabulon to use this API";
}

ConstSmbiosTableIterator SmbiosTable::itemsByKey(const std::string&) const { throw NotImplementedImpl(kNoKeyLookup); }
SmbiosTableIterator SmbiosTable::itemsByKey(const std::string&) { throw NotImplementedImpl(kNoKeyLookup); }

ConstSmbiosTableIterator SmbiosTable::itemsOfType(int type) const { return ConstSmbiosTableIterator(this, type); }
SmbiosTableIterator SmbiosTable::itemsOfType(int type) { return SmbiosTableIterator(this, type); }

void SmbiosTable::setRawAccess(bool raw) { rawAccess = raw; }

void SmbiosTable::dropItemCache() { itemCache.clear(); }

namespace {

std::string messageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return caught.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

void SmbiosTable::loadTable() {
    if (!rawAccess) dropItemCache();
    std::exception_ptr lastError;
    for (const std::unique_ptr<SmbiosStrategy>& strategy : strategies) {
        try {
            if (strategy->getSmbiosTable(tableBuffer, entryPoint, strictValidation)) {
                lastMeasured = nullptr;
                return;
            }
        } catch (...) {
            // A strategy that cannot deliver is passed over; the next one tries.
            lastError = std::current_exception();
        }
    }
    strategies.clear();
    InternalErrorImpl error("Could not instantiate SMBIOS table.");
    if (!lastError) throw error;
    // The last strategy's error is the cause: its text as "cause", the error
    // itself (with its own parameters) nested, for std::rethrow_if_nested.
    error.setParameter("cause", messageOf(lastError));
    try {
        std::rethrow_exception(lastError);
    } catch (...) {
        std::throw_with_nested(error);
    }
}

int SmbiosTable::structureCount() const { return entryPoint.structureCount; }

void SmbiosTable::copyEntryPoint(SmbiosEntryPoint& out) const { out = entryPoint; }

std::ostream& SmbiosTable::print(std::ostream& stream) const {
    const StreamStateGuard callersFormat(stream);
    stream << "\nSMBIOS table " << std::endl;
    stream << "\tversion    : " << static_cast<unsigned>(entryPoint.majorVersion) << "."
           << static_cast<unsigned>(entryPoint.minorVersion) << std::endl;
    stream << "\taddress    : " << std::hex << entryPoint.tableAddress << std::dec << std::endl;
    stream << "\tlength     : " << entryPoint.tableLength << std::endl;
    stream << "\tnum structs: " << entryPoint.structureCount << std::endl;
    stream << std::endl;
    for (ConstSmbiosTableIterator item = begin(); item != end(); ++item) stream << *item << std::endl;
    return stream;
}

void SmbiosTable::installWorkarounds() {
    workarounds.reset();
    workarounds.reset(SmbiosWorkaroundFactory::getFactory()->makeNew(*this));
    dropItemCache();  // items read while choosing are built again, corrected
    rawAccess = false;
}

void SmbiosTable::setStrictValidation(bool strict) { strictValidation = strict; }

bool SmbiosTable::isStrictValidation() const { return strictValidation; }

std::vector<SmbiosTable::CacheEntry>::iterator SmbiosTable::cacheSlot(const std::uint8_t* position) const {
    // Walks go in buffer order: a walk that fills the cache misses behind the
    // last entry, a walk over a filled cache hits the entry after the last hit.
    const std::less<const std::uint8_t*> before;
    if (itemCache.empty() || before(itemCache.back().first, position)) return itemCache.end();
    for (std::size_t slot = lastHit; slot < itemCache.size() && slot < lastHit + 2; ++slot) {
        if (itemCache[slot].first == position) {
            lastHit = slot;
            return itemCache.begin() + static_cast<std::ptrdiff_t>(slot);
        }
    }
    const auto found = std::lower_bound(
        itemCache.begin(), itemCache.end(), position,
        [&before](const CacheEntry& entry, const std::uint8_t* key) { return before(entry.first, key); });
    lastHit = static_cast<std::size_t>(found - itemCache.begin());
    return found;
}

void SmbiosTable::cacheItem(const std::uint8_t* position, std::unique_ptr<ISmbiosItem> item) const {
    if (itemCache.empty() || std::less<const std::uint8_t*>()(itemCache.back().first, position)) {
        itemCache.emplace_back(position, std::move(item));
        lastHit = itemCache.size() - 1;
        return;
    }
    const auto slot = cacheSlot(position);
    if (slot != itemCache.end() && slot->first == position) {
        slot->second = std::move(item);
    } else {
        lastHit = static_cast<std::size_t>(itemCache.emplace(slot, position, std::move(item)) - itemCache.begin());
    }
}

ISmbiosItem* SmbiosTable::findCachedItem(const std::uint8_t* position) const {
    const auto slot = cacheSlot(position);
    if (slot == itemCache.end() || slot->first != position) return nullptr;
    if (!slot->second) throw InternalErrorImpl("No null pointers should ever leak into the itemList");
    return slot->second.get();
}

void SmbiosTable::storeCachedItem(const std::uint8_t* position, ISmbiosItem* item) {
    cacheItem(position, std::unique_ptr<ISmbiosItem>(item));
}

ISmbiosItem* SmbiosTable::createItem(const std::uint8_t* position) const {
    if (position == nullptr) throw InternalErrorImpl("Not a valid header. header is zero.");
    // The item measures the structure within what is left of the table, so
    // nothing is ever read outside the table's buffer; a structure the table
    // cuts short is completed by the item.
    std::unique_ptr<SmbiosItem> item(new SmbiosItem(position, extentAt(position)));
    if (!rawAccess) item->applyWorkarounds(workarounds.get());
    return item.release();
}

StructureExtent SmbiosTable::extentAt(const std::uint8_t* position) const {
    if (position != lastMeasured) {
        const std::uint8_t* data = tableData();
        const std::size_t end = tableEnd();
        // Pointer comparison through integers: a position of another buffer
        // (a table reloaded since) has nothing of this one left to measure.
        const auto at = reinterpret_cast<std::uintptr_t>(position);
        const auto base = reinterpret_cast<std::uintptr_t>(data);
        const std::size_t start = at - base;
        lastExtent = data != nullptr && at >= base && start < end ? measureStructure(position, end - start)
                                                                  : StructureExtent{0, false};
        lastMeasured = position;
    }
    return lastExtent;
}

ISmbiosItem& SmbiosTable::itemAt(const std::uint8_t* position) const {
    if (ISmbiosItem* cached = findCachedItem(position)) return *cached;
    std::unique_ptr<ISmbiosItem> item(createItem(position));
    ISmbiosItem& created = *item;
    cacheItem(position, std::move(item));
    return created;
}

}  // namespace smbios
