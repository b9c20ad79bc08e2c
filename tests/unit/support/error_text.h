#ifndef VELMORA_TESTS_UNIT_SUPPORT_ERROR_TEXT_H
#define VELMORA_TESTS_UNIT_SUPPORT_ERROR_TEXT_H

// The error text of a call: what() of the `Error` it throws, or "<no error>"
// when it returns. An error of another type passes through and fails the test.
// The tests' one way of asserting a thrown error by its text:
//     EXPECT_EQ(errorTextOf<smbios::InternalError>([&] { call(); }), "text");
// (EXPECT_THROW where the type is all that matters).

#include <exception>
#include <string>
#include <utility>

namespace test_support {

template <class Error = std::exception, class Action>
std::string errorTextOf(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const Error& error) {
        return error.what();
    }
    return "<no error>";
}

}  // namespace test_support

#endif
