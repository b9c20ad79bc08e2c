#ifndef VELMORA_SMBIOS_TOKEN_TABLE_H
#define VELMORA_SMBIOS_TOKEN_TABLE_H

#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cmos/cmos_checksum_observer.h"
#include "cmos/cmos_rw.h"
#include "smbios/forward_iterator.h"
#include "smbios/smbios_table.h"
#include "smbios/token.h"

namespace smbios {

class TokenTable;

// Walks the tokens of a table, all of them or those of one id. Positions
// are indexes into the table's token list; -1 is before the first token
// and -2 the end. Dereferencing either throws DerefNullPointer.
class TokenTableIteratorBase {
public:
    static constexpr int kBeforeFirst = -1;
    static constexpr int kEnd = -2;
    static constexpr int kAnyId = -1;

    virtual ~TokenTableIteratorBase();

    bool operator==(const TokenTableIteratorBase& other) const {
        return table == other.table && current == other.current;
    }
    bool operator!=(const TokenTableIteratorBase& other) const { return !(*this == other); }

protected:
    // At the first matching token (`atEnd`: at the end).
    TokenTableIteratorBase(const TokenTable* table, int matchType, bool atEnd);
    void advance();
    IToken& dereference() const;

    int matchType;
    const TokenTable* table;
    int current;
};

class TokenTableIterator : public ForwardIterator<TokenTableIterator, TokenTableIteratorBase, IToken> {
public:
    explicit TokenTableIterator(const TokenTable* table = nullptr, int matchType = kAnyId, bool atEnd = false)
        : ForwardIterator(table, matchType, atEnd || table == nullptr) {}
};

class ConstTokenTableIterator : public ForwardIterator<ConstTokenTableIterator, TokenTableIteratorBase, const IToken> {
public:
    explicit ConstTokenTableIterator(const TokenTable* table = nullptr, int matchType = kAnyId, bool atEnd = false)
        : ForwardIterator(table, matchType, atEnd || table == nullptr) {}
};

// The firmware's tokens, found by id.
class ITokenTable {
public:
    virtual ~ITokenTable();
    virtual ConstTokenTableIterator begin() const = 0;
    virtual TokenTableIterator begin() = 0;
    virtual ConstTokenTableIterator end() const = 0;
    virtual TokenTableIterator end() = 0;
    // Look-up by a text key is not offered by this library: always throws NotImplemented.
    virtual ConstTokenTableIterator tokensByKey(const std::string& key) const = 0;
    virtual TokenTableIterator tokensByKey(const std::string& key) = 0;
    // At the first token with that id, stepping to the next one with it; end() when there is none.
    virtual ConstTokenTableIterator operator[](int id) const = 0;
    virtual TokenTableIterator operator[](int id) = 0;
    virtual std::ostream& streamify(std::ostream& stream) const = 0;
};

std::ostream& operator<<(std::ostream& stream, const ITokenTable& table);

// The tokens of every 0xD4, 0xD5, 0xD6 and 0xDA structure of an SMBIOS table,
// in that order, and the observers that keep the CMOS checksums those
// structures declare. Must be destroyed before the CMOS accessor it uses.
class TokenTable : public ITokenTable {
public:
    // Builds from `table`; the CMOS accessor is taken from CmosRWFactory only
    // when the table has CMOS token structures.
    explicit TokenTable(const ISmbiosTable& table);
    ~TokenTable() override;
    TokenTable(const TokenTable&) = delete;
    TokenTable& operator=(const TokenTable&) = delete;

    ConstTokenTableIterator begin() const override;
    TokenTableIterator begin() override;
    ConstTokenTableIterator end() const override;
    TokenTableIterator end() override;
    ConstTokenTableIterator tokensByKey(const std::string& key) const override;
    TokenTableIterator tokensByKey(const std::string& key) override;
    ConstTokenTableIterator operator[](int id) const override;
    TokenTableIterator operator[](int id) override;
    std::ostream& streamify(std::ostream& stream) const override;

    int tokenCount() const { return static_cast<int>(tokens.size()); }
    IToken& tokenAt(int position) const { return *tokens[static_cast<std::size_t>(position)]; }
    std::size_t observerCount() const { return observers.size(); }
    // The observers of every CMOS checksum declaration of the structures, in
    // table order, those that declare none or cannot be maintained included;
    // they form one set (CmosChecksumSet). An inspector runs them in verify
    // mode.
    std::vector<CmosRWChecksumObserver>& checksumObservers() { return observers; }
    const std::vector<CmosRWChecksumObserver>& checksumObservers() const { return observers; }

private:
    cmos::ICmosRW* cmosAccessor();
    void addCmosTokenStructure(const ISmbiosItem& item);
    void addCallingInterfaceStructure(const ISmbiosItem& item);

    cmos::ICmosRW* accessor = nullptr;
    // Declared before the tokens, so destroyed after them.
    std::vector<CmosRWChecksumObserver> observers;
    std::vector<std::unique_ptr<IToken>> tokens;
};

}  // namespace smbios

#endif
