#ifndef VELMORA_CMOS_CMOS_CHECKSUM_SET_H
#define VELMORA_CMOS_CMOS_CHECKSUM_SET_H

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cmos/cmos_rw.h"

namespace smbios {

struct ChecksumKind;

// A CMOS checksum as an SMBIOS token structure declares it.
struct ChecksumDeclaration {
    std::string description;  // the structure's printed form
    int type = 0;
    int indexPort = 0;
    int dataPort = 0;
    int start = 0;
    int end = 0;
    int location = 0;
};

// The checksums declared over one CMOS accessor, kept valid together.
//
// A checksum depends on another when the other's location lies inside its
// range. Built once, the set decides which declarations can be maintained
// and the order of repair: every checksum after all those it depends on, so
// that after a write each affected checksum is recomputed once and every
// maintainable one ends valid, whatever the order of declaration.
//
// A declaration cannot be maintained when its type is unknown, it does not
// fit in the 256-byte bank, its location lies inside its own range, its
// location overlaps a different checksum's, or it is part of a cycle of
// checksums stored inside each other's ranges. As the accessor's write
// guard, the set refuses, before any byte changes, every write that would
// change a byte inside such a checksum's range or location, directly or
// through the repair of another checksum.
class CmosChecksumSet : public cmos::IWriteGuard {
public:
    CmosChecksumSet(std::vector<ChecksumDeclaration> declarations, cmos::ICmosRW* accessor);
    ~CmosChecksumSet() override;
    CmosChecksumSet(const CmosChecksumSet&) = delete;
    CmosChecksumSet& operator=(const CmosChecksumSet&) = delete;

    std::size_t size() const { return members_.size(); }
    const ChecksumDeclaration& declaration(std::size_t member) const { return members_[member].declared; }
    // Start, end and location all 0: the structure declares no checksum.
    bool declaresNone(std::size_t member) const { return members_[member].none; }
    bool maintainable(std::size_t member) const;
    // Why a declaration cannot be maintained; empty when it can.
    const std::string& refusal(std::size_t member) const { return members_[member].refusal; }
    // How a message names the checksum.
    std::string nameOf(std::size_t member) const;

    void checkWrite(std::uint32_t indexPort, std::uint32_t offset, std::size_t count) const override;

    // After a write to `written`: recomputes, in repair order, each
    // maintainable checksum whose range or location holds a byte the
    // notification announces (all of them when it announces none) or a
    // checksum location repaired before it, reading each range once, and
    // then announces the repaired bytes in one notification. Runs once per
    // notification, for whichever member is told first.
    void repairAfterWrite(cmos::ICmosRW* written);
    // Throws InvalidChecksum when the member's stored checksum does not
    // match its range, UnmaintainableChecksum when it cannot be maintained.
    void verify(std::size_t member, cmos::ICmosRW* written) const;

private:
    struct Member {
        ChecksumDeclaration declared;
        const ChecksumKind* kind = nullptr;  // null for a type code that is not known
        int width = 0;
        bool none = false;
        std::string refusal;
    };
    // A byte a write must not change: the refused checksum it would harm,
    // and the maintainable one whose repair would do it (or -1).
    struct Block {
        int refused = -1;
        int via = -1;
    };
    using Bank = std::array<Block, 256>;

    void refuseSingly();
    void refuseLocationConflicts();
    void refuseCycles();
    void orderRepairs();
    void blockWrites();

    // Per bank, the bytes a write changed.
    using Marks = std::map<int, std::bitset<256>>;
    bool handledBefore(const cmos::Suppressable* observable);
    static Marks marksOf(const std::vector<cmos::CmosByte>& bytes);
    static bool touches(const Member& m, const Marks& changed);
    // Rewrites the member's stored checksum when it does not match its
    // range, marking the rewritten bytes; false when it matched.
    static bool repair(const Member& m, cmos::ICmosRW* written, Marks& changed);

    // The maintainable checksums whose range holds the member's location.
    std::vector<std::size_t> dependents(std::size_t member) const;

    std::vector<Member> members_;
    std::vector<std::size_t> order_;
    std::map<int, Bank> blocked_;
    cmos::ICmosRW* accessor_;
    cmos::Suppressable* guarded_;
    const void* handledSource_ = nullptr;
    std::uint64_t handledId_ = 0;
    bool repairing_ = false;
};

}  // namespace smbios

#endif
