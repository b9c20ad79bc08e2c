#include "cmos/cmos_rw_factory_impl.h"

#include <string>

#include "cmos/cmos_rw_file.h"
#include "cmos/cmos_rw_io.h"
#include "smbios/cmos_exceptions.h"

namespace cmos {

CmosRWFactory* CmosRWFactory::getFactory() { return factory::TFactory<CmosRWFactory>::instance<CmosRWFactoryImpl>(); }

CmosRWFactoryImpl::CmosRWFactoryImpl() { setParameter("cmosMapFile", std::string()); }

CmosRWFactoryImpl::~CmosRWFactoryImpl() { singleton_.reset(); }

ICmosRW* CmosRWFactoryImpl::getSingleton() {
    if (!singleton_) singleton_.reset(makeNew());
    return singleton_.get();
}

ICmosRW* CmosRWFactoryImpl::makeNew() {
    switch (getMode()) {
    case factory::DefaultMode:
        return new CmosRWIo();
    case factory::UnitTestMode:
        return new CmosRWFile(getParameterString("cmosMapFile"));
    default:
        throw InvalidCmosRWModeImpl("CmosRW Factory has been set to an invalid mode.");
    }
}

}  // namespace cmos
