#include "factory/ifactory.h"

namespace factory {

// Out of line so the interface's vtable has a single home.
IFactory::~IFactory() = default;

}  // namespace factory
