#include "tool/shell_operations.h"

#include "seam/test_replacement.h"

namespace pmquery {

ShellOperations& platformShellOperations();  // in the _win / _posix file

namespace {
seam::TestReplacement<ShellOperations> replacement;
}

ShellOperations& shellOperations() { return replacement.orElse(platformShellOperations()); }

ShellOperations* setShellOperationsForTesting(ShellOperations* fake) { return replacement.exchange(fake); }

}  // namespace pmquery
