#ifndef VELMORA_SMI_SMI_FACTORY_H
#define VELMORA_SMI_SMI_FACTORY_H

#include "factory/ifactory.h"
#include "factory/tfactory.h"
#include "smi/smi.h"

namespace smi {

// The kinds of SMI object makeNew builds.
enum SmiType {
    CallingInterfaceSmi = 1,
};

// The process-wide source of SMI objects; there is no shared one, every call
// gets its own. DefaultMode raises real SMIs (not available in this library);
// UnitTestMode writes each call to the file named by the string parameter
// "smiFile" and reads it back.
class SmiFactory : public virtual factory::IFactory {
public:
    static SmiFactory* getFactory();
    // A new object owned by the caller. Throws InvalidSmiMode for an unknown
    // mode or type.
    virtual ISmi* makeNew(int smiType) = 0;
};

class SmiFactoryImpl : public factory::TFactory<SmiFactory> {
public:
    SmiFactoryImpl();
    ~SmiFactoryImpl() override;
    ISmi* makeNew(int smiType) override;
};

}  // namespace smi

#endif
