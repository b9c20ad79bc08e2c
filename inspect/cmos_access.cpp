#include "inspect/cmos_access.h"

#include <string>
#include <utility>

#include "inspect/inspect_error.h"
#include "inspect/text_output.h"
#include "smbios/smbios_exceptions.h"

namespace hwinspect {

bool isClockRegister(std::uint32_t indexPort, std::uint32_t offset) {
    return indexPort == 0x70 && (offset & 0x7F) <= 0x0D;
}

InspectCmos::InspectCmos(std::unique_ptr<cmos::ICmosRW> inner, bool dryRun, bool clockRegisters)
    : inner_(std::move(inner)), dryRun_(dryRun), clockRegisters_(clockRegisters) {}

InspectCmos::~InspectCmos() = default;

void InspectCmos::guard(std::uint32_t indexPort, std::uint32_t offset) const {
    if (clockRegisters_ || !isClockRegister(indexPort, offset)) return;
    throw InspectError("CMOS offset " + hexNumber(offset, 2) + " behind index port " + hexNumber(indexPort, 2) +
                       " is a clock register, which is not touched: reading 0x0c clears the clock's interrupt "
                       "flags (\"cmos dump --all\" reads them).");
}

CmosChange* InspectCmos::find(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) {
    for (CmosChange& change : journal_) {
        if (change.indexPort == indexPort && change.dataPort == dataPort && change.offset == offset) return &change;
    }
    return nullptr;
}

std::uint8_t InspectCmos::readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) {
    guard(indexPort, offset);
    if (dryRun_) {
        if (const CmosChange* change = find(indexPort, dataPort, offset)) return change->after;
    }
    return inner_->readByte(indexPort, dataPort, offset);
}

void InspectCmos::writeByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset, std::uint8_t value) {
    guard(indexPort, offset);
    // The token table's checksums refuse here, before anything changes, a
    // write that would stale one they cannot keep.
    checkWrite(indexPort, offset, 1);
    // A CMOS page has 256 bytes; a place beyond it is not journalled as one.
    if (indexPort > 0xFFFF || dataPort > 0xFFFF || offset > 0xFF) {
        throw InspectError("There is no CMOS byte at offset " + hexNumber(offset, 2) + " behind index port " +
                           hexNumber(indexPort, 2) + ".");
    }
    CmosChange* change = find(indexPort, dataPort, offset);
    if (change == nullptr) {
        journal_.push_back({static_cast<std::uint16_t>(indexPort), static_cast<std::uint16_t>(dataPort),
                            static_cast<std::uint8_t>(offset), inner_->readByte(indexPort, dataPort, offset), 0});
        change = &journal_.back();
    }
    // Journalled before the write: a write that fails may still have changed
    // the byte (a port write whose read-back differs), and undo() then puts
    // the earlier value back.
    change->after = value;
    if (!dryRun_) {
        try {
            inner_->writeByte(indexPort, dataPort, offset, value);
        } catch (...) {
            recordWrite(indexPort, offset);
            throw;
        }
    }
    byteWritten(indexPort, offset);
}

std::vector<CmosChange> InspectCmos::changes() const {
    std::vector<CmosChange> changed;
    for (const CmosChange& change : journal_) {
        if (change.before != change.after) changed.push_back(change);
    }
    return changed;
}

std::vector<CmosChange> InspectCmos::undo() {
    std::vector<CmosChange> left;
    if (!dryRun_) {
        for (auto it = journal_.rbegin(); it != journal_.rend(); ++it) {
            if (it->before == it->after) continue;
            try {
                inner_->writeByte(it->indexPort, it->dataPort, it->offset, it->before);
            } catch (const std::exception&) {
                left.push_back(*it);
            }
        }
    }
    journal_.clear();
    return left;
}

InspectCmosFactory::InspectCmosFactory() {
    setParameter("dryRun", 0);
    setParameter("clockRegisters", 0);
}

cmos::ICmosRW* InspectCmosFactory::getSingleton() {
    cmos::ICmosRW* singleton = CmosRWFactoryImpl::getSingleton();
    made_ = dynamic_cast<InspectCmos*>(singleton);
    return singleton;
}

cmos::ICmosRW* InspectCmosFactory::makeNew() {
    std::unique_ptr<cmos::ICmosRW> inner(CmosRWFactoryImpl::makeNew());
    return new InspectCmos(std::move(inner), getParameterNum("dryRun") != 0, getParameterNum("clockRegisters") != 0);
}

InspectCmosFactory& installInspectCmos() {
    cmos::CmosRWFactory* installed = factory::TFactory<cmos::CmosRWFactory>::instance<InspectCmosFactory>();
    auto* ours = dynamic_cast<InspectCmosFactory*>(installed);
    if (ours == nullptr) throw smbios::InternalErrorImpl("The CMOS factory was in use before hwinspect's was set.");
    return *ours;
}

}  // namespace hwinspect
