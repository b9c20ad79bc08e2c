// Calls getPMStatus through velmora.dll, as a management component would,
// and exits with its result, so a scenario sees its output lines and result.
#include "collector/pminfo.h"

int main() { return getPMStatus(); }
