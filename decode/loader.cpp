#include "loader.h"
#include "../base/base.h"
#include "../base/textbuf.h"

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

// The format the loader reads a file in, given the path the library opens: the file's
// content first, its name only when the content says nothing. FIF_UNKNOWN when the format
// is unknown or the library cannot read it.
FREE_IMAGE_FORMAT ImageFileFormat(const char *path)
{
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path, 0);
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(path);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format))
        return FIF_UNKNOWN;
    return format;
}

// Loads one image in the format its content (or else its name) says. None when the format
// is unknown or unreadable, or the load fails.
FIBITMAP *GenericLoader(const char *fileName, int flags)
{
    char path[MAX_PATH * 4];
    if (!ImageLibraryPath(fileName, path, sizeof path))
        return NULL;
    FREE_IMAGE_FORMAT format = ImageFileFormat(path);
    if (format == FIF_UNKNOWN)
        return NULL;
    return FreeImage_Load(format, path, flags);
}
