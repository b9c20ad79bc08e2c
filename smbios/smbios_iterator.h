#ifndef VELMORA_SMBIOS_SMBIOS_ITERATOR_H
#define VELMORA_SMBIOS_SMBIOS_ITERATOR_H

#include <cstdint>
#include <iterator>

#include "smbios/forward_iterator.h"
#include "smbios/smbios_item.h"

namespace smbios {

class ISmbiosTable;
class SmbiosTable;

// Walks the structures of a table, optionally only those of one type. The
// position is the structure's first byte inside the table's buffer; the end
// is a null position. Items reached through an iterator belong to the
// table's cache.
class SmbiosTableIteratorBase {
public:
    virtual ~SmbiosTableIteratorBase();

    bool operator==(const SmbiosTableIteratorBase& other) const { return position == other.position; }
    bool operator!=(const SmbiosTableIteratorBase& other) const { return position != other.position; }

protected:
    // Positioned on the first structure that passes the filter (-1: every
    // type). Only the library's own tables can be walked: any other table
    // throws InternalError at once rather than look empty.
    SmbiosTableIteratorBase(const ISmbiosTable* table, int typeFilter);
    void advance();
    ISmbiosItem& dereference() const;

    int typeFilter;
    const ISmbiosTable* table;
    const std::uint8_t* position;

private:
    // `table` as the library's own table, found once when the iterator is
    // made, so a step or a dereference costs no type check.
    const SmbiosTable* source;
};

class SmbiosTableIterator : public ForwardIterator<SmbiosTableIterator, SmbiosTableIteratorBase, ISmbiosItem> {
public:
    SmbiosTableIterator(ISmbiosTable* table = nullptr, int typeFilter = -1);
};

class ConstSmbiosTableIterator
    : public ForwardIterator<ConstSmbiosTableIterator, SmbiosTableIteratorBase, const ISmbiosItem> {
public:
    ConstSmbiosTableIterator(const ISmbiosTable* table = nullptr, int typeFilter = -1);
};

}  // namespace smbios

#endif
