#include "cmos/cmos_checksum_set.h"

#include <algorithm>
#include <bitset>
#include <sstream>

#include "smbios/cmos_exceptions.h"
#include "smbios/smbios_exceptions.h"

namespace smbios {

namespace {

constexpr int kBankSize = 256;

enum ChecksumType { WordChecksum = 0, ByteChecksum = 1, WordCrc = 2, OnesComplementWordChecksum = 3 };

// Bytes the stored checksum takes; 0 for a type code that is not known.
int widthOf(int type) {
    switch (type) {
    case ByteChecksum:
        return 1;
    case WordChecksum:
    case WordCrc:
    case OnesComplementWordChecksum:
        return 2;
    default:
        return 0;
    }
}

struct Checksums {
    std::uint16_t word = 0;
    std::uint8_t byte = 0;
    std::uint16_t crc = 0;
    std::uint16_t wordNegated = 0;

    std::uint16_t ofType(int type) const {
        switch (type) {
        case WordChecksum:
            return word;
        case ByteChecksum:
            return byte;
        case WordCrc:
            return crc;
        default:
            return wordNegated;
        }
    }
};

// Not the common CRC-16: each shifted-out 1 sets bit 15 before the XOR with
// 0xA001, which the firmware's checksum code does too.
std::uint16_t crcStep(std::uint16_t crc, std::uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        const bool carry = (crc & 1) != 0;
        crc = static_cast<std::uint16_t>(crc >> 1);
        if (carry) crc = static_cast<std::uint16_t>((crc | 0x8000) ^ 0xA001);
    }
    return crc;
}

// Every sum of the range, each byte read once.
Checksums checksumsOf(cmos::ICmosRW* cmos, const ChecksumDeclaration& d) {
    Checksums sums;
    const auto index = static_cast<std::uint32_t>(d.indexPort);
    const auto data = static_cast<std::uint32_t>(d.dataPort);
    for (int offset = d.start; offset <= d.end; ++offset) {
        const std::uint8_t byte = cmos->readByte(index, data, static_cast<std::uint32_t>(offset));
        sums.word = static_cast<std::uint16_t>(sums.word + byte);
        sums.byte = static_cast<std::uint8_t>(sums.byte + byte);
        sums.crc = crcStep(sums.crc, byte);
    }
    sums.wordNegated = static_cast<std::uint16_t>(0x10000 - sums.word);
    return sums;
}

std::uint16_t storedValue(cmos::ICmosRW* cmos, const ChecksumDeclaration& d, int width) {
    std::uint16_t stored = 0;
    for (int i = 0; i < width; ++i) {
        stored = static_cast<std::uint16_t>((stored << 8) | cmos->readByte(static_cast<std::uint32_t>(d.indexPort),
                                                                           static_cast<std::uint32_t>(d.dataPort),
                                                                           static_cast<std::uint32_t>(d.location + i)));
    }
    return stored;
}

const char* typeName(int type) {
    switch (type) {
    case WordChecksum:
        return "Word Checksum";
    case ByteChecksum:
        return "Byte Checksum";
    case WordCrc:
        return "Word CRC";
    case OnesComplementWordChecksum:
        return "One's Complement Word Checksum";
    default:
        return "checksum of unknown type";
    }
}

const char* typeLine(int type) {
    switch (type) {
    case WordChecksum:
        return "SMBIOS-specified checksum type is Word Checksum. Type %(word_chksum_type)i";
    case ByteChecksum:
        return "SMBIOS-specified checksum type is Byte Checksum. Type %(byte_chksum_type)i";
    case WordCrc:
        return "SMBIOS-specified checksum type is Word CRC. Type %(word_crc_type)i";
    default:
        return "SMBIOS-specified checksum type is One's Complement Word Checksum. Type %(word_chksum_n_type)i";
    }
}

// The description is the structure's printed form; a percent sign in it
// must print as itself, not start a placeholder.
std::string literal(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return escaped;
}

std::string hex(int value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

bool sameChecksum(const ChecksumDeclaration& a, const ChecksumDeclaration& b) {
    return a.type == b.type && a.indexPort == b.indexPort && a.start == b.start && a.end == b.end &&
           a.location == b.location;
}

// A write at `offset` past the bank's end reaches the next index port's
// page in an image, the layout the accessors share.
void normalise(std::uint32_t& indexPort, std::uint32_t& offset) {
    indexPort += offset / kBankSize;
    offset %= kBankSize;
}

}  // namespace

CmosChecksumSet::CmosChecksumSet(std::vector<ChecksumDeclaration> declarations, cmos::ICmosRW* accessor)
    : accessor_(accessor), guarded_(dynamic_cast<cmos::Suppressable*>(accessor)) {
    members_.reserve(declarations.size());
    for (ChecksumDeclaration& declared : declarations) {
        Member member;
        member.declared = std::move(declared);
        member.none = member.declared.start == 0 && member.declared.end == 0 && member.declared.location == 0;
        member.width = widthOf(member.declared.type);
        members_.push_back(std::move(member));
    }
    refuseSingly();
    refuseLocationConflicts();
    refuseCycles();
    orderRepairs();
    blockWrites();
    if (guarded_ != nullptr) guarded_->addGuard(this);
}

CmosChecksumSet::~CmosChecksumSet() {
    if (guarded_ != nullptr) guarded_->removeGuard(this);
}

bool CmosChecksumSet::maintainable(std::size_t member) const {
    return !members_[member].none && members_[member].refusal.empty();
}

std::string CmosChecksumSet::nameOf(std::size_t member) const {
    const ChecksumDeclaration& d = members_[member].declared;
    std::ostringstream name;
    name << "the " << typeName(d.type);
    if (members_[member].width == 0) name << " " << hex(d.type);
    name << " over " << hex(d.start) << "-" << hex(d.end) << " at " << hex(d.location) << " (index port "
         << hex(d.indexPort) << ")";
    return name.str();
}

// A declaration that fails on its own.
void CmosChecksumSet::refuseSingly() {
    for (Member& m : members_) {
        if (m.none) continue;
        const ChecksumDeclaration& d = m.declared;
        if (m.width == 0) {
            m.refusal = "its type " + hex(d.type) + " is not a known checksum type";
        } else if (d.location < 0 || d.location + m.width > kBankSize) {
            m.refusal = "a " + std::to_string(m.width) + "-byte checksum at " + hex(d.location) +
                        " does not fit in the 256-byte bank";
        } else if (d.start < 0 || d.end >= kBankSize || d.indexPort < 0) {
            m.refusal = "its range lies outside the 256-byte bank";
        } else if (d.start <= d.end && d.location + m.width - 1 >= d.start && d.location <= d.end) {
            m.refusal = "it is stored inside its own range";
        }
    }
}

// Two different checksums stored in the same bytes overwrite each other.
void CmosChecksumSet::refuseLocationConflicts() {
    // The maintainable members stored in each byte of each bank.
    std::map<int, std::array<std::vector<std::size_t>, kBankSize>> stored;
    for (std::size_t member = 0; member < members_.size(); ++member) {
        if (!maintainable(member)) continue;
        const Member& m = members_[member];
        for (int i = 0; i < m.width; ++i) {
            stored[m.declared.indexPort][static_cast<std::size_t>(m.declared.location + i)].push_back(member);
        }
    }
    std::vector<std::string> found(members_.size());
    for (const auto& bank : stored) {
        for (const std::vector<std::size_t>& sharing : bank.second) {
            for (const std::size_t a : sharing) {
                for (const std::size_t b : sharing) {
                    if (a == b || !found[a].empty() || sameChecksum(members_[a].declared, members_[b].declared)) {
                        continue;
                    }
                    found[a] = "its location overlaps that of " + nameOf(b);
                }
            }
        }
    }
    for (std::size_t a = 0; a < members_.size(); ++a) {
        if (!found[a].empty()) members_[a].refusal = found[a];
    }
}

void CmosChecksumSet::indexRanges() {
    ranges_.clear();
    for (std::size_t member = 0; member < members_.size(); ++member) {
        if (!maintainable(member)) continue;
        const ChecksumDeclaration& d = members_[member].declared;
        auto& bank = ranges_[d.indexPort];
        for (int offset = d.start; offset <= d.end; ++offset) bank[static_cast<std::size_t>(offset)].push_back(member);
    }
}

std::vector<std::size_t> CmosChecksumSet::dependents(std::size_t member) const {
    std::vector<std::size_t> found;
    const Member& m = members_[member];
    const auto bank = ranges_.find(m.declared.indexPort);
    if (bank == ranges_.end()) return found;
    for (int i = 0; i < m.width; ++i) {
        for (const std::size_t other : bank->second[static_cast<std::size_t>(m.declared.location + i)]) {
            if (other != member && maintainable(other) && std::find(found.begin(), found.end(), other) == found.end()) {
                found.push_back(other);
            }
        }
    }
    return found;
}

// Strongly connected components of the dependencies between maintainable
// checksums, without recursion; each one of more than one member is a cycle.
void CmosChecksumSet::refuseCycles() {
    indexRanges();
    const std::size_t count = members_.size();
    std::vector<int> index(count, -1), low(count, 0);
    std::vector<bool> onStack(count, false);
    std::vector<std::size_t> stack;
    std::vector<std::vector<std::size_t>> cycles;
    int next = 0;
    struct Frame {
        std::size_t node;
        std::vector<std::size_t> edges;
        std::size_t edge = 0;
    };
    for (std::size_t root = 0; root < count; ++root) {
        if (!maintainable(root) || index[root] >= 0) continue;
        std::vector<Frame> frames;
        auto enter = [&](std::size_t v) {
            index[v] = low[v] = next++;
            stack.push_back(v);
            onStack[v] = true;
            frames.push_back({v, dependents(v)});
        };
        enter(root);
        while (!frames.empty()) {
            Frame& frame = frames.back();
            const std::size_t v = frame.node;
            if (frame.edge < frame.edges.size()) {
                const std::size_t w = frame.edges[frame.edge++];
                if (index[w] < 0) {
                    enter(w);
                } else if (onStack[w]) {
                    low[v] = std::min(low[v], index[w]);
                }
                continue;
            }
            if (low[v] == index[v]) {
                std::vector<std::size_t> component;
                std::size_t w = 0;
                do {
                    w = stack.back();
                    stack.pop_back();
                    onStack[w] = false;
                    component.push_back(w);
                } while (w != v);
                if (component.size() > 1) cycles.push_back(component);
            }
            frames.pop_back();
            if (!frames.empty()) low[frames.back().node] = std::min(low[frames.back().node], low[v]);
        }
    }
    for (std::vector<std::size_t>& cycle : cycles) {
        std::sort(cycle.begin(), cycle.end());
        std::string names;
        for (const std::size_t member : cycle) {
            names += (names.empty() ? "" : ", ") + hex(members_[member].declared.location);
        }
        for (const std::size_t member : cycle) {
            members_[member].refusal = "it is in a cycle of checksums stored inside each other's ranges (those at " +
                                       names + ")";
        }
    }
}

// Dependencies first; among checksums free to go, declaration order.
// Cycles are refused by now, so every maintainable checksum is placed.
void CmosChecksumSet::orderRepairs() {
    const std::size_t count = members_.size();
    std::vector<int> waiting(count, 0);
    std::vector<std::vector<std::size_t>> after(count);
    for (std::size_t from = 0; from < count; ++from) {
        if (!maintainable(from)) continue;
        after[from] = dependents(from);
        for (const std::size_t to : after[from]) ++waiting[to];
    }
    std::vector<bool> placed(count, false);
    bool progress = true;
    while (progress) {
        progress = false;
        for (std::size_t member = 0; member < count; ++member) {
            if (!maintainable(member) || placed[member] || waiting[member] != 0) continue;
            placed[member] = true;
            order_.push_back(member);
            for (const std::size_t to : after[member]) --waiting[to];
            progress = true;
        }
    }
}

// The bytes a write must not touch: those of every refused checksum, and,
// repeated until nothing changes, those of every maintainable checksum whose
// repair would write into bytes already blocked.
void CmosChecksumSet::blockWrites() {
    auto bankOf = [this](int indexPort) -> Bank& { return blocked_[indexPort]; };
    auto blockBytes = [&](std::size_t member, Block block) {
        const Member& m = members_[member];
        Bank& bank = bankOf(m.declared.indexPort);
        const int width = std::max(m.width, 1);
        for (int offset = std::max(m.declared.start, 0); offset <= std::min(m.declared.end, kBankSize - 1); ++offset) {
            if (bank[static_cast<std::size_t>(offset)].refused < 0) bank[static_cast<std::size_t>(offset)] = block;
        }
        for (int offset = m.declared.location; offset < m.declared.location + width; ++offset) {
            if (offset >= 0 && offset < kBankSize && bank[static_cast<std::size_t>(offset)].refused < 0) {
                bank[static_cast<std::size_t>(offset)] = block;
            }
        }
    };
    for (std::size_t member = 0; member < members_.size(); ++member) {
        if (!members_[member].none && !maintainable(member)) blockBytes(member, {static_cast<int>(member), -1});
    }
    std::vector<bool> tainted(members_.size(), false);
    bool changed = !blocked_.empty();
    while (changed) {
        changed = false;
        for (const std::size_t member : order_) {
            if (tainted[member]) continue;
            const Member& m = members_[member];
            const auto found = blocked_.find(m.declared.indexPort);
            if (found == blocked_.end()) continue;
            for (int i = 0; i < m.width; ++i) {
                const Block hit = found->second[static_cast<std::size_t>(m.declared.location + i)];
                if (hit.refused < 0) continue;
                tainted[member] = true;
                blockBytes(member, {hit.refused, static_cast<int>(member)});
                changed = true;
                break;
            }
        }
    }
}

void CmosChecksumSet::checkWrite(std::uint32_t indexPort, std::uint32_t offset, std::size_t count) const {
    if (repairing_ || blocked_.empty()) return;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t port = indexPort;
        std::uint32_t byte = offset + static_cast<std::uint32_t>(i);
        normalise(port, byte);
        const auto found = blocked_.find(static_cast<int>(port));
        if (found == blocked_.end()) continue;
        const Block block = found->second[byte];
        if (block.refused < 0) continue;
        const auto refused = static_cast<std::size_t>(block.refused);
        std::string message = "Refused to write CMOS byte " + hex(static_cast<int>(byte)) + " of index port " +
                              hex(static_cast<int>(port)) + ": ";
        if (block.via >= 0) {
            message += "repairing " + nameOf(static_cast<std::size_t>(block.via)) + " would change bytes of ";
        }
        message += nameOf(refused) + ", which cannot be maintained: " + members_[refused].refusal +
                   ". Nothing was written.";
        throw cmos::CmosWriteRefusedImpl(message);
    }
}

void CmosChecksumSet::repairAfterWrite(cmos::ICmosRW* written) {
    if (repairing_ || written == nullptr) return;
    auto* observable = dynamic_cast<cmos::Suppressable*>(written);
    const std::uint64_t id = observable != nullptr ? observable->notificationId() : 0;
    if (id != 0 && id == handledId_ && handledSource_ == observable) return;
    handledId_ = id;
    handledSource_ = observable;
    const std::vector<cmos::CmosByte>* announced = observable != nullptr ? observable->announcedWrites() : nullptr;

    std::map<int, std::bitset<kBankSize>> dirty;
    if (announced != nullptr) {
        for (cmos::CmosByte byte : *announced) {
            normalise(byte.indexPort, byte.offset);
            dirty[static_cast<int>(byte.indexPort)].set(byte.offset);
        }
    }
    auto touched = [&](const Member& m) {
        if (announced == nullptr) return true;
        const auto found = dirty.find(m.declared.indexPort);
        if (found == dirty.end()) return false;
        for (int offset = m.declared.start; offset <= m.declared.end; ++offset) {
            if (found->second.test(static_cast<std::size_t>(offset))) return true;
        }
        for (int i = 0; i < m.width; ++i) {
            if (found->second.test(static_cast<std::size_t>(m.declared.location + i))) return true;
        }
        return false;
    };

    struct Flag {
        bool& flag;
        explicit Flag(bool& f) : flag(f) { flag = true; }
        ~Flag() { flag = false; }
    };
    bool repaired = false;
    {
        const Flag busy(repairing_);
        cmos::SuppressionScope quiet(observable);
        for (const std::size_t member : order_) {
            const Member& m = members_[member];
            if (!touched(m)) continue;
            const std::uint16_t calculated = checksumsOf(written, m.declared).ofType(m.declared.type);
            if (storedValue(written, m.declared, m.width) == calculated) continue;
            for (int i = 0; i < m.width; ++i) {
                const int shift = 8 * (m.width - 1 - i);
                written->writeByte(static_cast<std::uint32_t>(m.declared.indexPort),
                                   static_cast<std::uint32_t>(m.declared.dataPort),
                                   static_cast<std::uint32_t>(m.declared.location + i),
                                   static_cast<std::uint8_t>(calculated >> shift));
                dirty[m.declared.indexPort].set(static_cast<std::size_t>(m.declared.location + i));
            }
            repaired = true;
        }
    }
    if (repaired && observable != nullptr) {
        // Other observers learn of the repaired bytes; this set's own
        // members, told again, have nothing left to do.
        const Flag busy(repairing_);
        observable->notify(nullptr);
    }
}

void CmosChecksumSet::verify(std::size_t member, cmos::ICmosRW* written) const {
    const Member& m = members_[member];
    if (m.none || written == nullptr) return;
    if (!m.refusal.empty()) {
        throw UnmaintainableChecksumImpl(literal(m.declared.description) + "\n" + literal(nameOf(member)) +
                                         " cannot be maintained: " + literal(m.refusal) + ".\n");
    }
    const Checksums sums = checksumsOf(written, m.declared);
    const std::uint16_t calculated = sums.ofType(m.declared.type);
    const std::uint16_t stored = storedValue(written, m.declared, m.width);
    if (stored == calculated) return;

    std::string message = literal(m.declared.description) + "\nChecksum check for CMOS value does not match.\n";
    message += typeLine(m.declared.type);
    message +=
        "\nChecking alternate checksum algorithm results.\n"
        "Calculated (Type %(word_chksum_type)i) word checksum is: %(calc_word)i\n"
        "Calculated (Type %(byte_chksum_type)i) byte checksum is: %(calc_byte)i\n"
        "Calculated (Type %(word_crc_type)i) word crc is: %(calc_crc)i\n"
        "Calculated (Type %(word_chksum_n_type)i) 1's complement word checksum is: %(calc_word_n)i\n"
        "Actual data value is: %(actual)i\n"
        "Calculated data value is: %(calc)i\n"
        "Start: %(start)i\n"
        "End: %(end)i\n"
        "Checksum Loc: %(checksumLocation)i\n"
        "Index Port: %(index)i\n"
        "Data Port: %(data)i\n";
    InvalidChecksumImpl error(message);
    error.setParameter("byte_chksum_type", static_cast<int>(ByteChecksum));
    error.setParameter("word_chksum_type", static_cast<int>(WordChecksum));
    error.setParameter("word_chksum_n_type", static_cast<int>(OnesComplementWordChecksum));
    error.setParameter("word_crc_type", static_cast<int>(WordCrc));
    error.setParameter("calc_byte", static_cast<int>(sums.byte));
    error.setParameter("calc_word", static_cast<int>(sums.word));
    error.setParameter("calc_word_n", static_cast<int>(sums.wordNegated));
    error.setParameter("calc_crc", static_cast<int>(sums.crc));
    error.setParameter("actual", static_cast<int>(stored));
    error.setParameter("calc", static_cast<int>(calculated));
    error.setParameter("start", m.declared.start);
    error.setParameter("end", m.declared.end);
    error.setParameter("checksumLocation", m.declared.location);
    error.setParameter("index", m.declared.indexPort);
    error.setParameter("data", m.declared.dataPort);
    throw error;
}

}  // namespace smbios
