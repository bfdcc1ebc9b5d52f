// Loading a source image with FreeImage, the format told by the file's content.
#ifndef FOTOBATCH_LOADER_H
#define FOTOBATCH_LOADER_H

#include <windows.h>
#include "../base/imagelib.h"

FIBITMAP *GenericLoader(const char *fileName, int flags);
int ImageLibraryPath(const char *fileName, char *path, size_t cap);
FREE_IMAGE_FORMAT ImageFileFormat(const char *path);

#endif
