/*
 * Public interface of the velmora library: the PM (branding) data record and
 * the four exported functions. Plain C, so any caller can bind to it.
 */
#ifndef VELMORA_PMINFO_H
#define VELMORA_PMINFO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(VELMORA_BUILDING_DLL)
#    define VELMORA_API __declspec(dllexport)
#  else
#    define VELMORA_API __declspec(dllimport)
#  endif
#else
#  define VELMORA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* brandStatus values: the controller's PM mode. */
enum { PM_BRAND_DEFAULT = 0, PM_BRAND_DEBRAND = 1, PM_BRAND_STRING_REBRAND = 2, PM_BRAND_COMPLETE_REBRAND = 3 };

/*
 * One requester's PM data. The library allocates the record and every text
 * in it (each text its own copy, exactly its length plus one byte); the
 * caller reads it and hands it back to freePMInfo.
 */
typedef struct PMInfo {
    int32_t status;      /* 0 PM active, 1 controller in default mode, -1 error */
    int32_t brandStatus; /* PM mode, see PM_BRAND_*; every error path stores 1 */
    char* brandName;
    char* defaultBrandName;
    char* dataLocation;     /* folder holding the files of a complete rebrand */
    char* ipmiError;        /* error text of the step that failed */
    uint32_t reserved[3];   /* neither side writes or reads them */
    char* manufacturerName; /* SMBIOS System Information manufacturer */
} PMInfo;

#if defined(_WIN32) && !defined(_WIN64) && defined(__cplusplus)
/* The record crosses the library boundary: its 32-bit layout is fixed. */
static_assert(offsetof(PMInfo, status) == 0, "PMInfo layout");
static_assert(offsetof(PMInfo, brandStatus) == 4, "PMInfo layout");
static_assert(offsetof(PMInfo, brandName) == 8, "PMInfo layout");
static_assert(offsetof(PMInfo, defaultBrandName) == 12, "PMInfo layout");
static_assert(offsetof(PMInfo, dataLocation) == 16, "PMInfo layout");
static_assert(offsetof(PMInfo, ipmiError) == 20, "PMInfo layout");
static_assert(offsetof(PMInfo, reserved) == 24, "PMInfo layout");
static_assert(offsetof(PMInfo, manufacturerName) == 36, "PMInfo layout");
static_assert(sizeof(PMInfo) == 40, "PMInfo layout");
#endif

/* Collects the PM data of one requester. *out always receives a new record.
 * Returns 1 when the agent could not be brought up, or when the controller's
 * PM mode was out of range together with an error text; else 0. A null `out`
 * returns 1 at once, with neither the agent nor the controller touched. */
VELMORA_API int getPMInfo(int requesterId, PMInfo** out);

/* Releases a record of getPMInfo or getTestPMInfo. Null is allowed. Returns 0. */
VELMORA_API int freePMInfo(PMInfo* info);

/* Asks only for the controller's PM mode: 0 to 3, or -1 on failure. */
VELMORA_API int getPMStatus(void);

/* A canned record (status 0, brandStatus 1, no texts); touches no hardware.
 * Returns 0, or 1 for a null `out`. */
VELMORA_API int getTestPMInfo(int requesterId, PMInfo** out);

#ifdef __cplusplus
}
#endif

#endif
