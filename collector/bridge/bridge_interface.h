#ifndef VELMORA_COLLECTOR_BRIDGE_BRIDGE_INTERFACE_H
#define VELMORA_COLLECTOR_BRIDGE_BRIDGE_INTERFACE_H

// The IPMI bridge library vexbmc32: its file name, export names, argument
// lists and status values. The library lies outside this system; the
// collector binds to it by export name at run time, and the simulated
// controller in sim/ implements the same exports.

#include <cstddef>
#include <cstdint>

// The calling convention of every bridge export, in this one place. It only
// matters on 32-bit Windows; there the exports carry their plain names (the
// simulator exports them through a .def file, not as name@N).
#if defined(_WIN32)
#  define VEXBMC_CALL __stdcall
#else
#  define VEXBMC_CALL
#endif

namespace bridge {

constexpr char kLibraryFileName[] = "vexbmc32.dll";

constexpr char kGetStatus[] = "VEXBMCOEMPMGetStatus";
constexpr char kGetReBrand[] = "VEXBMCOEMPMGetReBrand";
constexpr char kGetDefaultBrand[] = "VEXBMCOEMPMGetDefaultBrand";
constexpr char kGetSecureUpdatePmData[] = "VEXBMCOEMVesulGetSecureUpdatePmData";
constexpr char kEndSecureUpdate[] = "VEXBMCOEMVesulEndSecureUpdate";
constexpr char kCommand[] = "VEXBMCCommand";

// The constant arguments the collector passes.
constexpr int32_t kChannel = 0;
constexpr int32_t kTimeout = 1000;
constexpr int32_t kSecureUpdateKind = 250;

// Status values as the collector reads them.
constexpr int32_t kStatusSuccess = 0;
constexpr int32_t kStatusNoNewData = 4096;     // 1000h: go on with the response already held
constexpr int32_t kStatusDefaultMode1 = 4097;  // 1001h: PM mode 0 (status query only)
constexpr int32_t kStatusDefaultMode2 = 4098;  // 1002h
constexpr int32_t kStatusDefaultMode3 = 4099;  // 1003h
constexpr int32_t kStatusDebrandMode = 4101;   // 1005h: PM mode 1 (status query only)
constexpr int32_t kStatusDefaultMode4 = 4103;  // 1007h
constexpr int32_t kStatusDefaultMode5 = 4289;  // 10C1h
constexpr int32_t kStatusUnresolved = -1;      // set by the collector: export not found

// Size of the raw request block of VEXBMCCommand.
constexpr std::size_t kCommandBlockSize = 72;

}  // namespace bridge

extern "C" {

// VEXBMCOEMPMGetStatus, VEXBMCOEMPMGetReBrand, VEXBMCOEMPMGetDefaultBrand:
// (0, 1000, &length, &status). Returns the library's response bytes.
typedef uint8_t*(VEXBMC_CALL* VexbmcPMQueryFunction)(int32_t channel, int32_t timeout, uint8_t* length,
                                                     int32_t* status);

// VEXBMCOEMVesulGetSecureUpdatePmData:
// (0, requester id low 8 bits, 250, 0, 0, 1000, &length, &status).
typedef uint8_t*(VEXBMC_CALL* VexbmcGetSecureUpdatePmDataFunction)(int32_t channel, int32_t requester, int32_t kind,
                                                                   int32_t reserved1, int32_t reserved2,
                                                                   int32_t timeout, uint8_t* length, int32_t* status);

// VEXBMCOEMVesulEndSecureUpdate:
// (0, requester id low 8 bits, 0, session handle zero-extended, 1000, &length, &status).
typedef uint8_t*(VEXBMC_CALL* VexbmcEndSecureUpdateFunction)(int32_t channel, int32_t requester, int32_t reserved,
                                                             int32_t sessionHandle, int32_t timeout, uint8_t* length,
                                                             int32_t* status);

// VEXBMCCommand: (request block, response block); the result is not used.
typedef int32_t(VEXBMC_CALL* VexbmcCommandFunction)(void* request, void* response);

}  // extern "C"

#endif
