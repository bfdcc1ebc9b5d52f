#include "thumbs.h"
#include "../app/app.h"
#include "../app/state.h"

#include <string.h>

// FreeImage opens files itself. On Windows it takes the name as it is; under Winelib it
// is a native library that knows neither the Win32 current directory nor drive letters,
// so it is handed the Unix path of the file. 0 when the path does not fit.
int ImageLibraryPath(const char *fileName, char *path, size_t cap)
{
#ifdef __WINE__
    return UnixFileName(fileName, path, cap);
#else
    return TextCopy(path, cap, fileName);
#endif
}

// Loads one image: the format is taken from the file's content first and from its name
// only when the content says nothing. None when the format is unknown or unreadable.
FIBITMAP *GenericLoader(const char *fileName, int flags)
{
    char path[MAX_PATH * 4];
    if (!ImageLibraryPath(fileName, path, sizeof path))
        return NULL;
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path, 0);
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(path);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format))
        return NULL;
    return FreeImage_Load(format, path, flags);
}
