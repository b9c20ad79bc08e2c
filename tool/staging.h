#ifndef VELMORA_TOOL_STAGING_H
#define VELMORA_TOOL_STAGING_H

#include "collector/pminfo.h"

namespace pmquery {

// The customization folder, the base of every staging target.
extern const char kCustomizationFolder[];

// Places the branding images of a branded server below the customization
// folder: for a complete rebrand the images and the logo fetched into the
// record's data location, otherwise the archive of debranded images below the
// current directory. Prints nothing and reports nothing: a failed step leaves
// the folder as it was or partly filled.
void stagePMImages(const PMInfo* info);

}  // namespace pmquery

#endif
