// One source image decoded into its thumbnail: what a worker does for each request, and
// what the job does itself when it has no worker.
#ifndef FOTOBATCH_DECODEIMAGE_H
#define FOTOBATCH_DECODEIMAGE_H

#include <windows.h>
#include "../base/imagelib.h"
#include "sourcefile.h"

// Where the image library's reports go while an image is decoded.
typedef void (*DecodeReportSink)(void *context, FREE_IMAGE_FORMAT format, const char *message);

struct DecodeOutcome {
    int loaded;               // the library loaded the source
    DWORD width, height;      // the source's size, when loaded
    FIBITMAP *thumbnail;      // NULL when none was made
    int identified;           // the file was opened; identity tells which file it was
    SourceIdentity identity;
};

// Decodes the file at an absolute path into a thumbnail whose longer side is thumbSize;
// a source declaring more than maxPixels is refused unread. The library's reports made
// meanwhile go to the sink, in order.
void DecodeImage(const char *path, int thumbSize, unsigned long long maxPixels, DecodeReportSink sink,
                 void *context, DecodeOutcome *outcome);

// The check made before decoding an open source: the format the library reads it in
// (its content first, its name when the content says nothing), or FIF_UNKNOWN when that
// is unknown or unreadable, or when the source declares more than maxPixels pixels.
FREE_IMAGE_FORMAT CheckedImageFormat(SourceFile *source, unsigned long long maxPixels);

// Makes FreeImage's reports outside a decode reach the handler (the program's message
// box); reports made while an image decodes go to that decode's sink instead. This file
// is the one owner of the library's message hook.
void RouteImageLibraryMessages(FreeImage_OutputMessageFunction handler);

#endif
