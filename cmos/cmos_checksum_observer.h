#ifndef VELMORA_CMOS_CMOS_CHECKSUM_OBSERVER_H
#define VELMORA_CMOS_CMOS_CHECKSUM_OBSERVER_H

#include <memory>
#include <string>
#include <vector>

#include "cmos/cmos_checksum_set.h"
#include "cmos/cmos_rw.h"
#include "observer/observer.h"

namespace smbios {

// Keeps one CMOS checksum, declared by an SMBIOS token structure, in step
// with the bytes it protects. Told of a write, it has the checksums of its
// set recomputed and repaired (parameter null or pointing to true), or
// verifies its own checksum and throws InvalidChecksum on a mismatch
// (parameter pointing to false). The checksum is stored high byte first at
// its location.
//
// An observer made on its own forms a set of one; keepTogether() joins the
// observers of a token table into one set, so that checksums stored inside
// each other's ranges are repaired in dependency order (CmosChecksumSet).
class CmosRWChecksumObserver : public observer::IObserver {
public:
    // The type codes of the SMBIOS structures (each one a row of
    // cmos/checksum_types.h).
    enum ChecksumType {
        WordChecksum = 0,
        ByteChecksum = 1,
        WordCrc = 2,
        OnesComplementWordChecksum = 3,
    };

    // Attaches itself to `accessor` when that is observable. A declaration
    // with start, end and location all 0 declares no checksum and is never
    // acted on. A declaration that cannot be maintained (an unknown type, a
    // 2-byte checksum at 0xFF, one stored inside its own range) is kept with
    // its reason: writes that would stale it are refused, and verifying it
    // throws UnmaintainableChecksum.
    CmosRWChecksumObserver(const std::string& description, int checksumType, int indexPort, int dataPort, int start,
                           int end, int checksumLocation, cmos::ICmosRW* accessor);
    // A copy watches the same checksum, in the same set, and attaches itself as well.
    CmosRWChecksumObserver(const CmosRWChecksumObserver& other);
    CmosRWChecksumObserver& operator=(const CmosRWChecksumObserver& other);
    // Detaches from the accessor, which must still exist.
    ~CmosRWChecksumObserver() override;

    // Makes the observers one set per accessor, in their order; a
    // declaration is then judged with all the others (cycles, shared
    // locations) and repairs follow the dependencies between them.
    static void keepTogether(std::vector<CmosRWChecksumObserver>& observers);

    // `whatChanged` is the accessor that was written; the checksums are read
    // and repaired through it.
    void update(observer::IObservable* whatChanged, const void* parameter) override;

    // The declaration this observer keeps.
    int checksumType() const { return declaration().type; }
    int indexPort() const { return declaration().indexPort; }
    int dataPort() const { return declaration().dataPort; }
    int rangeStart() const { return declaration().start; }
    int rangeEnd() const { return declaration().end; }
    int checksumLocation() const { return declaration().location; }

    bool declaresNoChecksum() const { return set_->declaresNone(member_); }
    bool maintainable() const { return set_->maintainable(member_); }
    // Why the checksum cannot be maintained; empty when it can.
    const std::string& refusal() const { return set_->refusal(member_); }

private:
    const ChecksumDeclaration& declaration() const { return set_->declaration(member_); }
    void attach();
    void detach();

    cmos::ICmosRW* accessor_;
    std::shared_ptr<CmosChecksumSet> set_;
    std::size_t member_ = 0;
};

}  // namespace smbios

#endif
