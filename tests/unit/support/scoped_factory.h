#ifndef VELMORA_TESTS_UNIT_SUPPORT_SCOPED_FACTORY_H
#define VELMORA_TESTS_UNIT_SUPPORT_SCOPED_FACTORY_H

// The one way a test swaps a process-wide factory: `Fake` (a
// factory::TFactory<Interface>) becomes the factory of `Interface` for the
// life of the object. The factory of that kind, with its cached product, is
// destroyed before and after, so no test sees another's fake or product.

#include "factory/tfactory.h"

namespace test_support {

template <class Interface, class Fake>
class ScopedFactory {
public:
    ScopedFactory() {
        factory::TFactory<Interface>::resetInstance();
        factory::TFactory<Interface>::template instance<Fake>();
    }
    ~ScopedFactory() { factory::TFactory<Interface>::resetInstance(); }
    ScopedFactory(const ScopedFactory&) = delete;
    ScopedFactory& operator=(const ScopedFactory&) = delete;
};

}  // namespace test_support

#endif
