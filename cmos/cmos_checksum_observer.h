#ifndef VELMORA_CMOS_CMOS_CHECKSUM_OBSERVER_H
#define VELMORA_CMOS_CMOS_CHECKSUM_OBSERVER_H

#include <string>

#include "cmos/cmos_rw.h"
#include "observer/observer.h"

namespace smbios {

// Keeps one CMOS checksum, declared by an SMBIOS token structure, in step
// with the bytes it protects. Told of a write, it recomputes the checksum
// over its range and, when the stored one differs, repairs it (parameter
// null or pointing to true) or throws InvalidChecksum (parameter pointing to
// false). The checksum is stored high byte first at its location.
class CmosRWChecksumObserver : public observer::IObserver {
public:
    // The type codes of the SMBIOS structures.
    enum ChecksumType {
        WordChecksum = 0,
        ByteChecksum = 1,
        WordCrc = 2,
        OnesComplementWordChecksum = 3,
    };

    // Attaches itself to `accessor` when that is observable. A declaration
    // with start, end and location all 0 declares no checksum and is never
    // acted on. Otherwise an unknown type, or a checksum that would not fit
    // inside the 256-byte CMOS page (a 2-byte one at 0xFF), throws the
    // IException "Unknown checksum type encountered: <type in hex>" here,
    // before any CMOS byte is touched.
    CmosRWChecksumObserver(const std::string& description, int checksumType, int indexPort, int dataPort,
                           int start, int end, int checksumLocation, cmos::ICmosRW* accessor);
    // A copy watches the same checksum and attaches itself as well.
    CmosRWChecksumObserver(const CmosRWChecksumObserver& other);
    CmosRWChecksumObserver& operator=(const CmosRWChecksumObserver& other);
    // Detaches from the accessor, which must still exist.
    ~CmosRWChecksumObserver() override;

    // `whatChanged` is the accessor that was written; the checksum is read
    // and repaired through it. A repair is announced to the accessor's
    // observers in passes until a pass repairs nothing, and each observer
    // repairs at most once in that round, so checksums whose ranges cover
    // each other's locations settle after one repair each instead of
    // repairing each other without end (or in time exponential in their
    // number).
    void update(observer::IObservable* whatChanged, const void* parameter) override;

    // The declaration this observer keeps.
    int checksumType() const { return checksumType_; }
    int indexPort() const { return indexPort_; }
    int dataPort() const { return dataPort_; }
    int rangeStart() const { return start_; }
    int rangeEnd() const { return end_; }
    int checksumLocation() const { return checksumLocation_; }

private:
    void attach();
    void detach();

    std::string description_;
    cmos::ICmosRW* accessor_;
    int checksumType_;
    int indexPort_;
    int dataPort_;
    int start_;
    int end_;
    int checksumLocation_;
};

}  // namespace smbios

#endif
