#include "smbios/smbios_iterator.h"

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_table.h"

namespace smbios {

namespace {

constexpr std::uint8_t kEndOfTable = 127;

}  // namespace

SmbiosTableIteratorBase::~SmbiosTableIteratorBase() = default;

SmbiosTableIteratorBase::SmbiosTableIteratorBase(const ISmbiosTable* owner, int filter)
    : typeFilter(filter), table(owner), position(nullptr) {
    advance();
}

void SmbiosTableIteratorBase::advance() {
    if (table == nullptr) return;
    const SmbiosTable* source = dynamic_cast<const SmbiosTable*>(table);
    do {
        const std::uint8_t* data = source != nullptr ? source->tableData() : nullptr;
        // Signed, so a table shorter than a header holds no structure at all.
        const long long end = source != nullptr ? static_cast<long long>(source->tableEnd()) : 0;
        if (data == nullptr) {
            position = nullptr;
        } else if (position == nullptr) {
            position = end >= 4 ? data : nullptr;
        } else if (position[0] == kEndOfTable) {
            position = nullptr;
        } else {
            // The next structure starts behind the two NULs that close this
            // one's string set; it must start at least 4 bytes before the end.
            long long scan = (position - data) + position[1];
            while (scan < end - 3 && !(data[scan] == 0 && data[scan + 1] == 0)) ++scan;
            const long long next = scan + 2;
            position = next > end - 4 ? nullptr : data + next;
        }
    } while (typeFilter != -1 && position != nullptr && position[0] != typeFilter);
}

ISmbiosItem& SmbiosTableIteratorBase::dereference() const {
    if (position == nullptr)
        throw ParameterExceptionImpl("Programmer error: attempt to dereference a Null iterator.");
    const SmbiosTable* source = dynamic_cast<const SmbiosTable*>(table);
    if (source == nullptr) throw InternalErrorImpl("Smbios table not found or not initialized");
    // The cache is the table's own bookkeeping; reading through a const
    // iterator still fills it.
    return const_cast<SmbiosTable*>(source)->itemAt(position);
}

SmbiosTableIterator::SmbiosTableIterator(ISmbiosTable* owner, int filter) : SmbiosTableIteratorBase(owner, filter) {}

ConstSmbiosTableIterator::ConstSmbiosTableIterator(const ISmbiosTable* owner, int filter)
    : SmbiosTableIteratorBase(owner, filter) {}

}  // namespace smbios
