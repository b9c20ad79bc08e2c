#ifndef VELMORA_COLLECTOR_SECURE_UPDATE_H
#define VELMORA_COLLECTOR_SECURE_UPDATE_H

// Fetching the branding files of a complete rebrand from the controller's
// secure-update repository: request it, stage the files, end the update and
// the repository session.
namespace collector {

// Non-zero with the data location of a complete rebrand; zero on failure,
// in most cases with the error text. The location slot always receives a
// buffer the caller releases. The requester id comes from the current context.
int retrieveSecureUpdateData(char** dataLocation, char** errorText);

}  // namespace collector

#endif
