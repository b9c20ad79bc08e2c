#include "smbios/smbios_iterator.h"

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"

namespace smbios {

namespace {

constexpr std::uint8_t kEndOfTable = 127;

}  // namespace

SmbiosTableIteratorBase::~SmbiosTableIteratorBase() = default;

namespace {

const SmbiosTable* ownTable(const ISmbiosTable* table) {
    if (table == nullptr) return nullptr;
    const SmbiosTable* own = dynamic_cast<const SmbiosTable*>(table);
    if (own == nullptr) throw InternalErrorImpl("Smbios table not found or not initialized");
    return own;
}

}  // namespace

SmbiosTableIteratorBase::SmbiosTableIteratorBase(const ISmbiosTable* owner, int filter)
    : typeFilter(filter), table(owner), position(nullptr), source(ownTable(owner)) {
    advance();
}

void SmbiosTableIteratorBase::advance() {
    if (source == nullptr) return;
    const std::uint8_t* const data = source->tableData();
    const std::size_t end = data != nullptr ? source->tableEnd() : 0;
    // A structure is visited only if it starts at least 4 bytes before the end.
    const auto startsInside = [end](std::size_t offset) { return end >= 4 && offset <= end - 4; };
    do {
        if (data == nullptr) {
            position = nullptr;
        } else if (position == nullptr) {
            position = startsInside(0) ? data : nullptr;
        } else if (position[0] == kEndOfTable) {
            position = nullptr;
        } else {
            // The next structure starts behind the two NULs that close this
            // one's string set.
            const std::size_t offset = static_cast<std::size_t>(position - data);
            const StructureExtent extent = source->extentAt(position);
            const std::size_t next = offset + extent.size;
            position = extent.closed && startsInside(next) ? data + next : nullptr;
        }
    } while (typeFilter != -1 && position != nullptr && position[0] != typeFilter);
}

ISmbiosItem& SmbiosTableIteratorBase::dereference() const {
    if (position == nullptr) throw ParameterExceptionImpl("Programmer error: attempt to dereference a Null iterator.");
    return source->itemAt(position);
}

SmbiosTableIterator::SmbiosTableIterator(ISmbiosTable* owner, int filter) : ForwardIterator(owner, filter) {}

ConstSmbiosTableIterator::ConstSmbiosTableIterator(const ISmbiosTable* owner, int filter)
    : ForwardIterator(owner, filter) {}

}  // namespace smbios
