#ifndef VELMORA_CMOS_CMOS_RW_H
#define VELMORA_CMOS_CMOS_RW_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "observer/observer.h"

namespace cmos {

// Byte access to CMOS memory behind an index/data port pair: the offset goes
// to the index port, the byte is read from or written to the data port.
// Ports are 16-bit and offsets 8-bit on real hardware; the wider arguments
// only carry them.
class ICmosRW {
public:
    virtual std::uint8_t readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) = 0;
    virtual void writeByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset,
                           std::uint8_t value) = 0;
    virtual ~ICmosRW();
};

// One CMOS byte, named by the index port of its bank and its offset.
struct CmosByte {
    std::uint32_t indexPort;
    std::uint32_t offset;
};

// Asked before bytes are written; refuses by throwing cmos::CmosWriteRefused
// (cmos_exceptions.h), whose message names what would be harmed.
class IWriteGuard {
public:
    virtual ~IWriteGuard();
    virtual void checkWrite(std::uint32_t indexPort, std::uint32_t offset, std::size_t count) const = 0;
};

// The observable side of a CMOS accessor. A single write notifies the
// observers at once; while suppressed, writes stay silent so that a caller
// writing several bytes can notify once, when they are all in place.
//
// Every accessor's writeByte follows the same protocol: checkWrite() before
// the byte is stored, byteWritten() after. So guards can refuse a write
// before anything changes, and a notification tells its observers which
// bytes it announces.
class Suppressable : public observer::IObservable {
public:
    ~Suppressable() override;

    bool isSuppressed() const { return suppressed; }
    void setSuppressed(bool value) { suppressed = value; }

    // Guards are not owned and detach themselves before they go away.
    void addGuard(const IWriteGuard* guard);
    void removeGuard(const IWriteGuard* guard);
    // Throws CmosWriteRefused when any guard refuses `count` bytes from
    // `offset` in the bank of `indexPort`; nothing has been written then.
    void checkWrite(std::uint32_t indexPort, std::uint32_t offset, std::size_t count) const;

    // Records a byte as written (or possibly written, by a write that
    // failed), to be announced by the next notification.
    void recordWrite(std::uint32_t indexPort, std::uint32_t offset);

    // Delivers the bytes recorded since the last notification along with it.
    void notify(const void* parameter) override;

    // While a notification is delivered: the bytes it announces, or null
    // when it announces none (a notification not caused by a write, after
    // which anything may have changed). Null outside a notification.
    const std::vector<CmosByte>* announcedWrites() const { return announced_; }
    // A number unique to the notification being delivered; 0 outside one.
    std::uint64_t notificationId() const { return current_; }

protected:
    // For writeByte, once the byte is stored: records it and notifies
    // unless suppressed.
    void byteWritten(std::uint32_t indexPort, std::uint32_t offset);

private:
    bool suppressed = false;
    std::vector<const IWriteGuard*> guards_;
    std::vector<CmosByte> pending_;
    const std::vector<CmosByte>* announced_ = nullptr;
    std::uint64_t serial_ = 0;
    std::uint64_t current_ = 0;
};

// Suppresses an accessor's notifications for the life of the object and
// then restores the previous state, also when a write throws. Nests: a
// checksum repair inside a block write leaves the block write suppressed.
class SuppressionScope {
public:
    explicit SuppressionScope(Suppressable* target) : target_(target) {
        if (target_ != nullptr) {
            previous_ = target_->isSuppressed();
            target_->setSuppressed(true);
        }
    }
    ~SuppressionScope() {
        if (target_ != nullptr) target_->setSuppressed(previous_);
    }
    SuppressionScope(const SuppressionScope&) = delete;
    SuppressionScope& operator=(const SuppressionScope&) = delete;

private:
    Suppressable* target_;
    bool previous_ = false;
};

// The library's write path for CMOS. Writes `count` bytes to the offsets
// startOffset, startOffset + 1, ... and notifies the accessor's observers
// once at the end, not once per byte, so a checksum over the block is
// recomputed from all of its new bytes.
//
// Before any byte is written, a block that does not fit in the 256-byte
// bank, or that a guard refuses (a checksum that cannot be kept valid),
// throws CmosWriteRefused. When a byte fails part-way, the observers are
// still told of every byte that may have changed, so their checksums are
// brought up to date, and then the failure is rethrown. An accessor that is
// not observable just gets the bytes.
void writeBlock(std::uint32_t startOffset, ICmosRW* accessor, std::uint32_t indexPort, std::uint32_t dataPort,
                const std::uint8_t* bytes, std::size_t count);

}  // namespace cmos

#endif
