#include "smbios/smbios_table.h"

#include <exception>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_workarounds.h"

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

void SmbiosTable::loadTable() {
    if (!rawAccess) dropItemCache();
    for (const std::unique_ptr<SmbiosStrategy>& strategy : strategies) {
        try {
            if (strategy->getSmbiosTable(tableBuffer, entryPoint, strictValidation)) return;
        } catch (...) {
            // A strategy that cannot deliver is passed over; the next one tries.
        }
    }
    strategies.clear();
    throw InternalErrorImpl("Could not instantiate SMBIOS table.");
}

int SmbiosTable::structureCount() const { return entryPoint.structureCount; }

void SmbiosTable::copyEntryPoint(SmbiosEntryPoint& out) const { out = entryPoint; }

std::ostream& SmbiosTable::print(std::ostream& stream) const {
    stream << "\nSMBIOS table " << std::endl;
    stream << "\tversion    : " << static_cast<unsigned>(entryPoint.majorVersion) << "."
           << static_cast<unsigned>(entryPoint.minorVersion) << std::endl;
    const std::ios_base::fmtflags flags = stream.flags();
    stream << "\taddress    : " << std::hex << entryPoint.tableAddress << std::dec << std::endl;
    stream.flags(flags);
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

ISmbiosItem* SmbiosTable::findCachedItem(const std::uint8_t* position) const {
    const auto found = itemCache.find(position);
    if (found == itemCache.end()) return nullptr;
    if (!found->second) throw InternalErrorImpl("No null pointers should ever leak into the itemList");
    return found->second.get();
}

void SmbiosTable::storeCachedItem(const std::uint8_t* position, ISmbiosItem* item) {
    itemCache[position].reset(item);
}

std::size_t SmbiosTable::tableEnd() const {
    const std::size_t declared = entryPoint.tableLength;
    return declared < tableBuffer.size ? declared : tableBuffer.size;
}

ISmbiosItem* SmbiosTable::createItem(const std::uint8_t* position) const {
    if (position == nullptr) throw InternalErrorImpl("Not a valid header. header is zero.");
    const std::uint8_t* data = tableData();
    const std::size_t end = tableEnd();
    const std::size_t start = static_cast<std::size_t>(position - data);
    const std::size_t available = start < end ? end - start : 0;

    // The structure runs to the two NULs behind its formatted area. One that
    // is not closed inside the table is cut at the table's end; the item
    // completes it, so nothing is ever read outside the table's buffer.
    std::size_t size = available;
    for (std::size_t scan = position[1] < available ? position[1] : available; scan + 1 < available; ++scan) {
        if (position[scan] == 0 && position[scan + 1] == 0) {
            size = scan + 2;
            break;
        }
    }
    std::unique_ptr<SmbiosItem> item(new SmbiosItem(position, size));
    if (!rawAccess) item->applyWorkarounds(workarounds.get());
    return item.release();
}

ISmbiosItem& SmbiosTable::itemAt(const std::uint8_t* position) {
    if (ISmbiosItem* cached = findCachedItem(position)) return *cached;
    std::unique_ptr<ISmbiosItem> item(createItem(position));
    ISmbiosItem& created = *item;
    storeCachedItem(position, item.release());
    return created;
}

}  // namespace smbios
