// Makes a thumbnail storable in the format its output name asks for.
#ifndef FOTOBATCH_THUMBFORMAT_H
#define FOTOBATCH_THUMBFORMAT_H

#include <windows.h>
#include "../base/imagelib.h"

// Returns the thumbnail itself when the format can store it, otherwise a converted copy
// (the original is freed then). When no conversion helps, the thumbnail is returned as it
// is and the save reports what it reports.
FIBITMAP *ThumbnailForFormat(FIBITMAP *image, FREE_IMAGE_FORMAT format);

#endif
