#ifndef VELMORA_COLLECTOR_OEM_QUERIES_H
#define VELMORA_COLLECTOR_OEM_QUERIES_H

// The controller's three OEM PM queries. Texts a query puts into a slot are
// new array allocations that pass to the caller; a query that sets the
// error-text slot releases what it held.
namespace collector {

// The PM mode (0 to 3); -1 with the error text on a reported failure.
int queryPMStatus(char** errorText);

// True with a non-empty name; false with an empty name and the error text.
bool queryBrandName(char** name, char** errorText);
bool queryDefaultBrandName(char** name, char** errorText);

}  // namespace collector

#endif
