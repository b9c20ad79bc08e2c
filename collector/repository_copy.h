#ifndef VELMORA_COLLECTOR_REPOSITORY_COPY_H
#define VELMORA_COLLECTOR_REPOSITORY_COPY_H

#include <string>

#include "collector/platform/platform.h"

// Copying a requester's branding files from the controller's repository
// volume into the local data location, with the system's command interpreter.

namespace collector {

// Folder layout of the controller's repository volume ("SECUPD"): one folder
// per requesting management component, row 1 to 8 for requester ids 1 to 8.
// The simulated controller lays out its volume from this same table.
extern const char* const requesterFolders[8];

// The requester's folder on the repository volume, or null for ids outside 1 to 8.
const char* requesterFolder(int requesterId);

// The local data location of a requester: the customization image folder for
// requester 6, the general PM folder for every other one.
const char* targetDirectoryFor(int requesterId);

// Writes the target directory into `target` (a 260-character buffer), makes
// it, deletes old branding files there, copies the requester's folder from the
// repository volume into it and deletes the command log. Returns the result
// of copyFromRepository.
int stagePMFiles(char* sourcePath, char* target);

// Waits for the repository volume and copies the requester's folder, with its
// subfolders, into `target`. Returns 1 when the copy ran; 0 when there was
// nothing to copy from (no volume after the wait, or no folder for the id).
int copyFromRepository(char* sourcePath, const char* target);

// Looks for the volume up to the configured number of attempts, sleeping
// between them. True with the mount point when found.
bool waitForVolume(const char* label, std::string& mountPoint);

// True with the drive root of the first drive whose volume label begins with
// the first 6 characters of `label` (case-sensitive).
bool findVolumeByLabel(const char* label, std::string& mountPoint);

// How long waitForVolume keeps trying. The product waits 60 attempts 2000 ms
// apart; tests may shorten it.
struct VolumeWait {
    int attempts;
    unsigned intervalMilliseconds;
};
// Null restores 60 x 2000 ms. Returns what it replaced (null: the product's).
const VolumeWait* setVolumeWaitForTesting(const VolumeWait* wait);

}  // namespace collector

#endif
