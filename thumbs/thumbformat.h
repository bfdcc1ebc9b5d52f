// Makes a thumbnail storable in the format its output name asks for, and refuses the
// job settings that no thumbnail could honour.
#ifndef FOTOBATCH_THUMBFORMAT_H
#define FOTOBATCH_THUMBFORMAT_H

#include <windows.h>
#include "../base/imagelib.h"

// Returns the thumbnail itself when the format can store it, otherwise a converted copy
// (the original is freed then). When no conversion helps, the thumbnail is returned as it
// is and the save reports what it reports.
FIBITMAP *ThumbnailForFormat(FIBITMAP *image, FREE_IMAGE_FORMAT format);

// 1 when a job in this directory with this mask, suffix and size may run; otherwise
// shows a warning box owned by owner that names the refused text, and returns 0.
int ThumbSettingsAccepted(HWND owner, const char *dir, const char *mask, const char *suffix, int size);

#endif
