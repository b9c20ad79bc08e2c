#include "smbios/token_table.h"

#include <sstream>

#include "cmos/cmos_rw_factory.h"
#include "smbios/cmos_tokens.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smi_token.h"
#include "smbios/token_structure.h"

namespace smbios {

namespace {

constexpr int kCmosTokenStructure = 0xD4;
constexpr int kProtectedStringStructure = 0xD5;
constexpr int kProtectedStringWithChecksumStructure = 0xD6;
constexpr int kCallingInterfaceStructure = 0xDA;

constexpr std::uint16_t kEndOfEntries = 0xFFFF;

// Offsets of the 0xD4 header.
constexpr std::size_t kIndexPort = 4;
constexpr std::size_t kDataPort = 6;
constexpr std::size_t kChecksumType = 8;
constexpr std::size_t kChecksumStart = 9;
constexpr std::size_t kChecksumEnd = 10;
constexpr std::size_t kChecksumLocation = 11;

std::uint16_t entryId(const std::uint8_t* entry) { return static_cast<std::uint16_t>(entry[0] | (entry[1] << 8)); }

}  // namespace

// ---- iterators ----

TokenTableIteratorBase::TokenTableIteratorBase(const TokenTable* table, int matchType, bool atEnd)
    : matchType(matchType), table(table), current(atEnd ? kEnd : kBeforeFirst) {
    if (!atEnd) increment();
}

TokenTableIteratorBase::~TokenTableIteratorBase() = default;

void TokenTableIteratorBase::increment() {
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
    for (auto it = table.itemsOfType(kCmosTokenStructure); it != table.end(); ++it) addCmosTokenStructure(*it);
    for (auto it = table.itemsOfType(kProtectedStringStructure); it != table.end(); ++it) {
        tokens.push_back(std::make_unique<CmosTokenD5>(*it, cmosAccessor(), observers));
    }
    for (auto it = table.itemsOfType(kProtectedStringWithChecksumStructure); it != table.end(); ++it) {
        tokens.push_back(std::make_unique<CmosTokenD6>(*it, cmosAccessor(), observers));
    }
    for (auto it = table.itemsOfType(kCallingInterfaceStructure); it != table.end(); ++it) {
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
    const auto header = token_detail::leadingBytes<12>(item);
    std::ostringstream description;
    description << item;
    // A header cut short of its checksum fields declares no checksum.
    if (item.length() > kChecksumLocation) {
        addChecksumObserver(observers, description.str(), header[kChecksumType], token_detail::word(header, kIndexPort),
                            token_detail::word(header, kDataPort), header[kChecksumStart], header[kChecksumEnd],
                            header[kChecksumLocation], cmosAccessor());
    }

    std::uint8_t entry[CmosTokenD4::kEntrySize];
    for (unsigned index = 0;
         token_detail::readEntry(item, CmosTokenD4::kFirstEntry, CmosTokenD4::kEntrySize, index, entry); ++index) {
        if (entryId(entry) == kEndOfEntries) break;
        tokens.push_back(std::make_unique<CmosTokenD4>(item, entry, cmosAccessor()));
    }
}

void TokenTable::addCallingInterfaceStructure(const ISmbiosItem& item) {
    std::uint8_t entry[SmiTokenDA::kEntrySize];
    for (unsigned index = 0;
         token_detail::readEntry(item, SmiTokenDA::kFirstEntry, SmiTokenDA::kEntrySize, index, entry); ++index) {
        if (entryId(entry) == kEndOfEntries) break;
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
