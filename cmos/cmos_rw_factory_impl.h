#ifndef VELMORA_CMOS_CMOS_RW_FACTORY_IMPL_H
#define VELMORA_CMOS_CMOS_RW_FACTORY_IMPL_H

#include "cmos/cmos_rw_factory.h"
#include "factory/tfactory.h"

namespace cmos {

class CmosRWFactoryImpl : public factory::TFactory<CmosRWFactory> {
public:
    CmosRWFactoryImpl();
    // Destroys the cached accessor.
    ~CmosRWFactoryImpl() override;

    ICmosRW* getSingleton() override;
    ICmosRW* makeNew() override;

private:
    static inline ICmosRW* singleton_ = nullptr;
};

}  // namespace cmos

#endif
