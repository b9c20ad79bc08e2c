#include "cmos/cmos_checksum_set.h"

#include <algorithm>
#include <sstream>

#include "cmos/checksum_types.h"
#include "smbios/cmos_exceptions.h"
#include "smbios/smbios_exceptions.h"

namespace smbios {

namespace {

constexpr int kBankSize = 256;

// The bytes of the declaration's range, each read once.
std::vector<std::uint8_t> rangeOf(cmos::ICmosRW* cmos, const ChecksumDeclaration& d) {
    std::vector<std::uint8_t> bytes;
    for (int offset = d.start; offset <= d.end; ++offset) {
        bytes.push_back(cmos->readByte(static_cast<std::uint32_t>(d.indexPort), static_cast<std::uint32_t>(d.dataPort),
                                       static_cast<std::uint32_t>(offset)));
    }
    return bytes;
}

std::uint16_t computed(const ChecksumKind& kind, const std::vector<std::uint8_t>& range) {
    return kind.compute(range.data(), range.size());
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

std::string placeholder(const char* parameter) { return std::string("%(") + parameter + ")i"; }

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
        member.kind = checksumKind(member.declared.type);
        member.width = member.kind != nullptr ? member.kind->width : 0;
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
    const ChecksumKind* kind = members_[member].kind;
    name << "the ";
    if (kind != nullptr) {
        name << kind->name;
    } else {
        name << "checksum of unknown type " << hex(d.type);
    }
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
    // Each member's bytes in turn, lowest first, against every other
    // maintainable member stored in that byte of the same bank.
    std::vector<std::string> found(members_.size());
    for (std::size_t a = 0; a < members_.size(); ++a) {
        if (!maintainable(a)) continue;
        const Member& m = members_[a];
        for (int i = 0; i < m.width && found[a].empty(); ++i) {
            const int offset = m.declared.location + i;
            for (std::size_t b = 0; b < members_.size(); ++b) {
                const Member& other = members_[b];
                if (b == a || !maintainable(b) || other.declared.indexPort != m.declared.indexPort) continue;
                if (offset < other.declared.location || offset >= other.declared.location + other.width) continue;
                if (sameChecksum(m.declared, other.declared)) continue;
                found[a] = "its location overlaps that of " + nameOf(b);
                break;
            }
        }
    }
    for (std::size_t a = 0; a < members_.size(); ++a) {
        if (!found[a].empty()) members_[a].refusal = found[a];
    }
}

std::vector<std::size_t> CmosChecksumSet::dependents(std::size_t member) const {
    // A scan of the members: there are a few dozen at most, and an index of
    // the ranges byte by byte would cost an allocation per byte.
    std::vector<std::size_t> found;
    const Member& m = members_[member];
    for (int i = 0; i < m.width; ++i) {
        const int offset = m.declared.location + i;
        for (std::size_t other = 0; other < members_.size(); ++other) {
            const ChecksumDeclaration& d = members_[other].declared;
            if (other == member || d.indexPort != m.declared.indexPort || offset < d.start || offset > d.end) continue;
            if (maintainable(other) && std::find(found.begin(), found.end(), other) == found.end()) {
                found.push_back(other);
            }
        }
    }
    return found;
}

// Strongly connected components of the dependencies between maintainable
// checksums, without recursion; each one of more than one member is a cycle.
void CmosChecksumSet::refuseCycles() {
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

// Each notification is handled once, by whichever member is told first.
bool CmosChecksumSet::handledBefore(const cmos::Suppressable* observable) {
    const std::uint64_t id = observable != nullptr ? observable->notificationId() : 0;
    if (id != 0 && id == handledId_ && handledSource_ == observable) return true;
    handledId_ = id;
    handledSource_ = observable;
    return false;
}

CmosChecksumSet::Marks CmosChecksumSet::marksOf(const std::vector<cmos::CmosByte>& bytes) {
    Marks marks;
    for (cmos::CmosByte byte : bytes) {
        normalise(byte.indexPort, byte.offset);
        marks[static_cast<int>(byte.indexPort)].set(byte.offset);
    }
    return marks;
}

bool CmosChecksumSet::touches(const Member& m, const Marks& changed) {
    const auto found = changed.find(m.declared.indexPort);
    if (found == changed.end()) return false;
    for (int offset = m.declared.start; offset <= m.declared.end; ++offset) {
        if (found->second.test(static_cast<std::size_t>(offset))) return true;
    }
    for (int i = 0; i < m.width; ++i) {
        if (found->second.test(static_cast<std::size_t>(m.declared.location + i))) return true;
    }
    return false;
}

bool CmosChecksumSet::repair(const Member& m, cmos::ICmosRW* written, Marks& changed) {
    const std::uint16_t calculated = computed(*m.kind, rangeOf(written, m.declared));
    if (storedValue(written, m.declared, m.width) == calculated) return false;
    for (int i = 0; i < m.width; ++i) {
        const int shift = 8 * (m.width - 1 - i);
        written->writeByte(
            static_cast<std::uint32_t>(m.declared.indexPort), static_cast<std::uint32_t>(m.declared.dataPort),
            static_cast<std::uint32_t>(m.declared.location + i), static_cast<std::uint8_t>(calculated >> shift));
        changed[m.declared.indexPort].set(static_cast<std::size_t>(m.declared.location + i));
    }
    return true;
}

namespace {

// Set for the life of the object; cleared again when a write throws.
class Busy {
public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& flag_;
};

}  // namespace

void CmosChecksumSet::repairAfterWrite(cmos::ICmosRW* written) {
    if (repairing_ || written == nullptr) return;
    auto* observable = dynamic_cast<cmos::Suppressable*>(written);
    if (handledBefore(observable)) return;
    const std::vector<cmos::CmosByte>* announced = observable != nullptr ? observable->announcedWrites() : nullptr;
    Marks changed = announced != nullptr ? marksOf(*announced) : Marks();

    bool repaired = false;
    {
        const Busy busy(repairing_);
        cmos::SuppressionScope quiet(observable);
        for (const std::size_t member : order_) {
            const Member& m = members_[member];
            if (announced != nullptr && !touches(m, changed)) continue;
            repaired = repair(m, written, changed) || repaired;
        }
    }
    if (repaired && observable != nullptr) {
        // Other observers learn of the repaired bytes; this set's own
        // members, told again, have nothing left to do.
        const Busy busy(repairing_);
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
    const std::vector<std::uint8_t> range = rangeOf(written, m.declared);
    const std::uint16_t calculated = computed(*m.kind, range);
    const std::uint16_t stored = storedValue(written, m.declared, m.width);
    if (stored == calculated) return;

    std::string message = literal(m.declared.description) + "\nChecksum check for CMOS value does not match.\n";
    message += std::string("SMBIOS-specified checksum type is ") + m.kind->name + ". Type " +
               placeholder(m.kind->typeParameter);
    message += "\nChecking alternate checksum algorithm results.\n";
    for (const ChecksumKind* kind = checksumKindsBegin(); kind != checksumKindsEnd(); ++kind) {
        message += "Calculated (Type " + placeholder(kind->typeParameter) + ") " + kind->alternateName +
                   " is: " + placeholder(kind->resultParameter) + "\n";
    }
    message +=
        "Actual data value is: %(actual)i\n"
        "Calculated data value is: %(calc)i\n"
        "Start: %(start)i\n"
        "End: %(end)i\n"
        "Checksum Loc: %(checksumLocation)i\n"
        "Index Port: %(index)i\n"
        "Data Port: %(data)i\n";
    InvalidChecksumImpl error(message);
    for (const ChecksumKind* kind = checksumKindsBegin(); kind != checksumKindsEnd(); ++kind) {
        error.setParameter(kind->typeParameter, kind->code);
        error.setParameter(kind->resultParameter, static_cast<int>(computed(*kind, range)));
    }
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
