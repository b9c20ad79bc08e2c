#ifndef VELMORA_CMOS_CMOS_RW_FACTORY_H
#define VELMORA_CMOS_CMOS_RW_FACTORY_H

#include "cmos/cmos_rw.h"
#include "factory/ifactory.h"

namespace cmos {

// The process-wide source of CMOS accessors. DefaultMode reaches the real
// ports; UnitTestMode reads and writes the image file named by the string
// parameter "cmosMapFile".
class CmosRWFactory : public virtual factory::IFactory {
public:
    // Created on first use; never owned by the caller.
    static CmosRWFactory* getFactory();

    // The cached accessor, built on first call; not owned by the caller.
    virtual ICmosRW* getSingleton() = 0;
    // A new accessor for the current mode, owned by the caller. Throws
    // InvalidCmosRWMode for a mode other than DefaultMode and UnitTestMode.
    virtual ICmosRW* makeNew() = 0;
};

}  // namespace cmos

#endif
