#ifndef VELMORA_INSPECT_INSPECT_ERROR_H
#define VELMORA_INSPECT_INSPECT_ERROR_H

#include <exception>
#include <stdexcept>
#include <string>

namespace hwinspect {

// A failure the tool itself finds (a handle that is not in the table, a file
// it cannot write): exit status 1, like the library's errors.
class InspectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What to tell the user about a failure: its expanded message, or, for the
// library's errors that carry none (a port access the platform refuses),
// what kind of failure it was.
std::string reasonOf(const std::exception& error);

}  // namespace hwinspect

#endif
