#ifndef VELMORA_INSPECT_CMOS_ACCESS_H
#define VELMORA_INSPECT_CMOS_ACCESS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "cmos/cmos_rw.h"
#include "cmos/cmos_rw_factory_impl.h"

namespace hwinspect {

// One CMOS byte and what a command did to it.
struct CmosChange {
    std::uint16_t indexPort;
    std::uint16_t dataPort;
    std::uint8_t offset;
    std::uint8_t before;
    std::uint8_t after;
};

// Registers 00h-0Dh of the first bank (index port 70h) belong to the clock;
// reading 0Ch clears its interrupt flags. Offsets 80h-8Dh select them too: a
// chipset takes bit 7 of that index for its NMI mask, not for the register.
bool isClockRegister(std::uint32_t indexPort, std::uint32_t offset);

// The CMOS accessor the library gets from hwinspect: the library's own one
// (the ports, or --cmos-image) behind a layer that
// - keeps the clock registers out of reach unless they are asked for;
// - journals every byte written, with its value before, so that a command
//   can list what it changed and undo it when it fails part-way;
// - for --dry-run, keeps the writes to itself: later reads see them, the
//   real CMOS never does.
// The token table's checksum observers attach to this layer, so every write
// of a command reaches them, also in a dry run.
class InspectCmos : public cmos::ICmosRW, public cmos::Suppressable {
public:
    InspectCmos(std::unique_ptr<cmos::ICmosRW> inner, bool dryRun, bool clockRegisters);
    ~InspectCmos() override;

    // A clock register without clockRegisters throws InspectError, untouched.
    std::uint8_t readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) override;
    void writeByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset, std::uint8_t value) override;

    bool dryRun() const { return dryRun_; }
    // The bytes that hold another value than before the first write, in the
    // order they were first written.
    std::vector<CmosChange> changes() const;
    // Writes the earlier values back, last change first, without telling the
    // observers (the bytes are as they were, checksums included). Returns the
    // changes that could not be undone.
    std::vector<CmosChange> undo();

private:
    CmosChange* find(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset);
    void guard(std::uint32_t indexPort, std::uint32_t offset) const;

    std::unique_ptr<cmos::ICmosRW> inner_;
    bool dryRun_;
    bool clockRegisters_;
    std::vector<CmosChange> journal_;
};

// The CMOS factory hwinspect puts in place of the library's: the product of
// the library's factory for its mode, inside InspectCmos. Parameters, besides
// the library's: "dryRun" and "clockRegisters" (nonzero: on).
class InspectCmosFactory : public cmos::CmosRWFactoryImpl {
public:
    InspectCmosFactory();
    cmos::ICmosRW* getSingleton() override;
    cmos::ICmosRW* makeNew() override;
    // The singleton when one was made, else null; never makes one.
    InspectCmos* made() const { return made_; }

private:
    InspectCmos* made_ = nullptr;
};

// Makes InspectCmosFactory the process-wide CMOS factory. Must run before
// anything reaches CmosRWFactory::getFactory().
InspectCmosFactory& installInspectCmos();

}  // namespace hwinspect

#endif
