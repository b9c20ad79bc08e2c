#include "tool/shell_operations.h"

namespace pmquery {

ShellOperations& platformShellOperations();  // in the _win / _posix file

namespace {
ShellOperations* testReplacement = nullptr;
}

ShellOperations& shellOperations() { return testReplacement != nullptr ? *testReplacement : platformShellOperations(); }

ShellOperations* setShellOperationsForTesting(ShellOperations* fake) {
    ShellOperations* previous = testReplacement;
    testReplacement = fake;
    return previous;
}

}  // namespace pmquery
