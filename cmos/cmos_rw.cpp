#include "cmos/cmos_rw.h"

namespace cmos {

ICmosRW::~ICmosRW() = default;

Suppressable::~Suppressable() = default;

void writeBlock(std::uint32_t startOffset, ICmosRW* accessor, std::uint32_t indexPort, std::uint32_t dataPort,
                const std::uint8_t* bytes, std::size_t count) {
    Suppressable* observable = dynamic_cast<Suppressable*>(accessor);
    SuppressionScope quiet(observable);
    for (std::size_t i = 0; i < count; ++i) {
        accessor->writeByte(indexPort, dataPort, startOffset + static_cast<std::uint32_t>(i), bytes[i]);
    }
    if (observable != nullptr) observable->notify(nullptr);
}

}  // namespace cmos
