// The size an image file declares, read from its header and never by decoding it, so
// that a few bytes claiming a gigantic picture are refused before the library allocates
// and fills it. The readers take the bytes from a file through the Win32 file API or
// from memory, and look only at bounded pieces of them.
#ifndef FOTOBATCH_IMAGESIZE_H
#define FOTOBATCH_IMAGESIZE_H

#include <windows.h>
#include "../base/imagelib.h"
#include "sourcefile.h"

#define IMAGE_BYTES_WINDOW 4096

// Where the header bytes come from: an open source file, or a block in memory.
struct ImageBytes {
    SourceFile *source;       // NULL when reading from data
    const BYTE *data;
    unsigned long long length;
    unsigned long long windowStart;  // the file's bytes last read, kept for the next look
    DWORD windowLength;
    BYTE window[IMAGE_BYTES_WINDOW];
};

// What a header tells about the size: the size itself, nothing (unreadable, truncated,
// or a format whose size only decoding finds), or that the library's own header-only
// load reads it (formats whose containers are too rich to parse here, where that load
// was checked to read the header alone).
enum { IMAGE_SIZE_UNKNOWN = 0, IMAGE_SIZE_KNOWN = 1, IMAGE_SIZE_LIBRARY = 2 };

void ImageBytesFromMemory(ImageBytes *bytes, const BYTE *data, unsigned long long length);
void ImageBytesFromSource(ImageBytes *bytes, SourceFile *source);

// The width and height the file declares in the given format, as the library would
// allocate them; IMAGE_SIZE_KNOWN, IMAGE_SIZE_UNKNOWN or IMAGE_SIZE_LIBRARY.
int ImageDeclaredSize(FREE_IMAGE_FORMAT format, ImageBytes *bytes, DWORD *width, DWORD *height);
// The frame size of a JPEG: the first SOF marker's, read across the segments before it.
int JpegDeclaredSize(ImageBytes *bytes, DWORD *width, DWORD *height);


#endif
