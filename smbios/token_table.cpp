#include "smbios/token_table.h"

#include <sstream>

#include "cmos/cmos_rw_factory.h"
#include "layout/calling_interface_structure.h"
#include "layout/cmos_token_structures.h"
#include "layout/little_endian.h"
#include "smbios/cmos_tokens.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smi_token.h"

namespace smbios {

namespace {

namespace d4 = layout::cmos_token_structure;
namespace da = layout::calling_interface_structure;

// Every entry starts with its id.
template <std::size_t N>
bool isEndOfEntries(const std::uint8_t (&entry)[N]) {
    return layout::read16(entry, 0) == layout::kEndOfTokenEntries;
}

}  // namespace

// ---- iterators ----

TokenTableIteratorBase::TokenTableIteratorBase(const TokenTable* table, int matchType, bool atEnd)
    : matchType(matchType), table(table), current(atEnd ? kEnd : kBeforeFirst) {
    if (!atEnd) advance();
}

TokenTableIteratorBase::~TokenTableIteratorBase() = default;

void TokenTableIteratorBase::advance() {
    if (current == kEnd) return;
    const int count = table->tokenCount();
    ++current;  // from kBeforeFirst to 0
    while (current < count && matchType != kAnyId && table->tokenAt(current).getType() != matchType) ++current;
    if (current >= count) current = kEnd;
}

IToken& TokenTableIteratorBase::dereference() const {
    if (current < 0 || table == nullptr) throw DerefNullPointerImpl("tried to dereference non-existent token");
    return table->tokenAt(current);
}

// ---- table ----

ITokenTable::~ITokenTable() = default;

std::ostream& operator<<(std::ostream& stream, const ITokenTable& table) { return table.streamify(stream); }

TokenTable::TokenTable(const ISmbiosTable& table) {
    observers.reserve(4);
    for (auto it = table.itemsOfType(d4::kType); it != table.end(); ++it) addCmosTokenStructure(*it);
    for (auto it = table.itemsOfType(layout::protected_string_structure::kType); it != table.end(); ++it) {
        tokens.push_back(std::make_unique<CmosTokenD5>(*it, cmosAccessor(), observers));
    }
    for (auto it = table.itemsOfType(layout::protected_string_with_checksum_structure::kType); it != table.end();
         ++it) {
        tokens.push_back(std::make_unique<CmosTokenD6>(*it, cmosAccessor(), observers));
    }
    for (auto it = table.itemsOfType(da::kType); it != table.end(); ++it) {
        addCallingInterfaceStructure(*it);
    }
    // Judged and ordered together, now that every declaration is known.
    CmosRWChecksumObserver::keepTogether(observers);
}

TokenTable::~TokenTable() = default;

cmos::ICmosRW* TokenTable::cmosAccessor() {
    if (accessor == nullptr) accessor = cmos::CmosRWFactory::getFactory()->getSingleton();
    return accessor;
}

void TokenTable::addCmosTokenStructure(const ISmbiosItem& item) {
    // A header cut short of its checksum fields declares no checksum.
    if (item.length() > d4::kChecksumLocation) {
        std::uint8_t header[d4::kHeaderLength] = {};
        item.readData(0, header, sizeof header);
        std::ostringstream description;
        description << item;
        addChecksumObserver(observers, description.str(), header[d4::kChecksumType],
                            layout::read16(header, d4::kIndexPort), layout::read16(header, d4::kDataPort),
                            header[d4::kChecksumStart], header[d4::kChecksumEnd], header[d4::kChecksumLocation],
                            cmosAccessor());
    }

    std::uint8_t entry[d4::kEntrySize];
    for (unsigned index = 0; readTokenEntry(item, d4::kFirstEntry, d4::kEntrySize, index, entry); ++index) {
        if (isEndOfEntries(entry)) break;
        tokens.push_back(std::make_unique<CmosTokenD4>(item, entry, cmosAccessor()));
    }
}

void TokenTable::addCallingInterfaceStructure(const ISmbiosItem& item) {
    std::uint8_t entry[da::kEntrySize];
    for (unsigned index = 0; readTokenEntry(item, da::kFirstEntry, da::kEntrySize, index, entry); ++index) {
        if (isEndOfEntries(entry)) break;
        tokens.push_back(std::make_unique<SmiTokenDA>(item, entry));
    }
}

ConstTokenTableIterator TokenTable::begin() const { return ConstTokenTableIterator(this); }
TokenTableIterator TokenTable::begin() { return TokenTableIterator(this); }
ConstTokenTableIterator TokenTable::end() const {
    return ConstTokenTableIterator(this, TokenTableIteratorBase::kAnyId, true);
}
TokenTableIterator TokenTable::end() { return TokenTableIterator(this, TokenTableIteratorBase::kAnyId, true); }

ConstTokenTableIterator TokenTable::tokensByKey(const std::string&) const { throw NotImplementedImpl(); }
TokenTableIterator TokenTable::tokensByKey(const std::string&) { throw NotImplementedImpl(); }

ConstTokenTableIterator TokenTable::operator[](int id) const { return ConstTokenTableIterator(this, id); }
TokenTableIterator TokenTable::operator[](int id) { return TokenTableIterator(this, id); }

std::ostream& TokenTable::streamify(std::ostream& stream) const { return stream << "Token Table"; }

}  // namespace smbios
