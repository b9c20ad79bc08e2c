#include "smi/smi_factory.h"

#include <memory>
#include <new>

#include "smbios/smi_exceptions.h"
#include "smi/calling_interface_smi.h"

namespace smi {

namespace {

constexpr const char* kUnknownMode = "Unknown smi factory mode requested";

}  // namespace

SmiFactory* SmiFactory::getFactory() { return factory::TFactory<SmiFactory>::instance<SmiFactoryImpl>(); }

SmiFactoryImpl::SmiFactoryImpl() { setParameter("smiFile", std::string()); }

SmiFactoryImpl::~SmiFactoryImpl() = default;

ISmi* SmiFactoryImpl::makeNew(int smiType) {
    std::unique_ptr<SmiStrategy> strategy;
    switch (getMode()) {
    case factory::DefaultMode:
        strategy = std::make_unique<SmiArchStrategy>();
        break;
    case factory::UnitTestMode:
        strategy = std::make_unique<SmiMockStrategy>(getParameterString("smiFile"));
        break;
    default:
        throw InvalidSmiModeImpl(kUnknownMode);
    }
    if (smiType != CallingInterfaceSmi) throw InvalidSmiModeImpl(kUnknownMode);
    try {
        return new QuorCallingInterfaceSmiImpl(std::move(strategy));
    } catch (const std::bad_alloc&) {
        throw InvalidSmiModeImpl("Could not allocate SMI object");
    }
}

}  // namespace smi
