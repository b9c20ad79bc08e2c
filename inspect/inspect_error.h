#ifndef VELMORA_INSPECT_INSPECT_ERROR_H
#define VELMORA_INSPECT_INSPECT_ERROR_H

#include <stdexcept>

namespace hwinspect {

// A failure the tool itself finds (a handle that is not in the table, a file
// it cannot write): exit status 1, like the library's errors.
class InspectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace hwinspect

#endif
