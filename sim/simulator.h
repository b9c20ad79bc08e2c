#ifndef VELMORA_SIM_SIMULATOR_H
#define VELMORA_SIM_SIMULATOR_H

// The simulated controller behind the stand-in bridge library vexbmc32: the
// six bridge exports answer from a scenario and append one line per call to
// a call log. A test tool, not part of the product.
//
// Scenario text: key=value lines; '#' starts a comment line.
//   mode=N                      PM mode byte (byte 1 of the status response), 0..255
//   brand=TEXT                  brand name; the response is TEXT and a zero byte
//   defaultBrand=TEXT           default brand name, same form
//   sessionHandle=N             repository session handle, 0..65535
//   endSessionStatus=N          end-session status the controller writes into
//                               byte 34 of VEXBMCCommand's block, 0..255
//                               (default: the low byte of status.VEXBMCCommand)
//   status.EXPORT=N             status the export reports (default 0)
//   response.EXPORT=HEX         response bytes instead of the generated ones;
//                               "41 42 00", "414200", "41*255" (byte repeated)
//   length.EXPORT=N             reported length, 0..255 (default: the response size)
//   null.EXPORT=1               the export returns a null response
//   missing=EXPORT[,EXPORT...]  exports left out of the library
// Other keys (the agent script's ruxainst.install / ruxainst.uninstall) are
// ignored here. Invalid values leave the default in place.
//
// Call log line:  EXPORT(ARG, ...) -> status=N length=N response=HEX|NULL
// Addresses are shown as &length, &status, &block or NULL; VEXBMCCommand
// shows its 72-byte request block before the call and the block after it,
// and returns status.VEXBMCCommand as the call's own status.

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The six exports, in the order of the bridge interface.
extern const char* const kExportNames[6];

// Replaces the scenario by the one in `text`.
void loadScenario(const std::string& text);
// Reads the scenario from a file; a missing file gives the defaults. False
// when the file exists but cannot be read.
bool loadScenarioFile(const std::string& path);
// Calls are appended to `path`; empty turns the log off.
void setCallLogPath(const std::string& path);

// True when the scenario leaves the export out.
bool isMissing(const std::string& exportName);

// The address of an export's implementation, null for other names.
void* exportAddress(const std::string& exportName);

// Parses HEX as described above; false on a malformed text. At most 256 bytes.
bool parseHexBytes(const std::string& text, std::vector<uint8_t>* bytes);

}  // namespace sim

#endif
