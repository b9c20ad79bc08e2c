#ifndef VELMORA_CMOS_CMOS_RW_H
#define VELMORA_CMOS_CMOS_RW_H

#include <cstddef>
#include <cstdint>

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

// The observable side of a CMOS accessor. A single write notifies the
// observers at once; while suppressed, writes stay silent so that a caller
// writing several bytes can notify once, when they are all in place.
class Suppressable : public observer::IObservable {
public:
    ~Suppressable() override;

    bool isSuppressed() const { return suppressed; }
    void setSuppressed(bool value) { suppressed = value; }

private:
    bool suppressed = false;
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

// Writes `count` bytes to the offsets startOffset, startOffset + 1, ... and
// notifies the accessor's observers once at the end, not once per byte, so a
// checksum over the block is recomputed from all of its new bytes. An
// accessor that is not observable just gets the bytes.
void writeBlock(std::uint32_t startOffset, ICmosRW* accessor, std::uint32_t indexPort, std::uint32_t dataPort,
                const std::uint8_t* bytes, std::size_t count);

}  // namespace cmos

#endif
