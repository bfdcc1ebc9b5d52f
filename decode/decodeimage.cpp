#include "decodeimage.h"
#include "imagesize.h"
#include "orientation.h"
#include "../base/textbuf.h"

#include <string.h>

// Where the library's reports go now: outside a decode to the program's handler, during
// one to its sink, and nowhere during a header-only look at the size, whose complaints
// the real load repeats if they matter.
enum { REPORTS_OUTSIDE, REPORTS_DECODING, REPORTS_DROPPED };

static FreeImage_OutputMessageFunction outsideHandler;
static DecodeReportSink reportSink;
static void *reportContext;
static int reportsGo = REPORTS_OUTSIDE;

// FreeImage's one message hook: a report made while an image decodes belongs to that
// image, and reaches the user only when the job comes to it; any other is shown at once.
static void RouteMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    if (reportsGo == REPORTS_OUTSIDE) {
        if (outsideHandler != NULL)
            outsideHandler(format, message);
    } else if (reportsGo == REPORTS_DECODING && reportSink != NULL) {
        reportSink(reportContext, format, message != NULL ? message : "");
    }
}

void RouteImageLibraryMessages(FreeImage_OutputMessageFunction handler)
{
    outsideHandler = handler;
    FreeImage_SetOutputMessage(RouteMessage);
}

// The number in a comment the JPEG decoder leaves when it scaled on load, or 0.
static DWORD OriginalJpegSize(FIBITMAP *image, const char *key)
{
    FITAG *tag = NULL;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, image, key, &tag) || tag == NULL)
        return 0;
    const char *value = (const char *)FreeImage_GetTagValue(tag);
    unsigned long long number = 0;
    TextDigitsValue(value, FreeImage_GetTagLength(tag), 0xFFFFFFFFull, &number);
    return (DWORD)number;
}

// The thumbnail size FreeImage_MakeThumbnail gives for a source of this size: the longer
// side becomes the size, the other keeps the proportion, rounded, at least 1.
static void FullDecodeThumbnailSize(DWORD width, DWORD height, int size, DWORD *thumbWidth, DWORD *thumbHeight)
{
    if (width < (DWORD)size && height < (DWORD)size) {
        *thumbWidth = width;
        *thumbHeight = height;
    } else if (width > height) {
        *thumbWidth = (DWORD)size;
        *thumbHeight = (DWORD)(height * ((double)size / width) + 0.5);
    } else {
        *thumbHeight = (DWORD)size;
        *thumbWidth = (DWORD)(width * ((double)size / height) + 0.5);
    }
    if (*thumbWidth == 0)
        *thumbWidth = 1;
    if (*thumbHeight == 0)
        *thumbHeight = 1;
}

// The thumbnail of a JPEG decoded at 1/2, 1/4 or 1/8 scale. Its size must be the one the
// full decode gives, and the rounding of the smaller decode may differ by a pixel; then
// the scaled image is resampled to exactly that size, as MakeThumbnail itself does.
static FIBITMAP *ScaledJpegThumbnail(FIBITMAP *image, DWORD width, DWORD height, int size)
{
    DWORD wantWidth, wantHeight;
    FullDecodeThumbnailSize(width, height, size, &wantWidth, &wantHeight);
    FIBITMAP *made = FreeImage_MakeThumbnail(image, size, TRUE);
    if (made != NULL && (FreeImage_GetWidth(made) != wantWidth || FreeImage_GetHeight(made) != wantHeight)) {
        FreeImage_Unload(made);
        made = FreeImage_Rescale(image, (int)wantWidth, (int)wantHeight, FILTER_BILINEAR);
        if (made != NULL)
            FreeImage_CloneMetadata(made, image);
    }
    if (made != NULL) {
        // the note about the scaled decode is not the source's and must not reach the file
        FreeImage_SetMetadata(FIMD_COMMENTS, made, "OriginalJPEGWidth", NULL);
        FreeImage_SetMetadata(FIMD_COMMENTS, made, "OriginalJPEGHeight", NULL);
    }
    return made;
}

// The size a TIFF, OpenEXR, camera RAW or JPEG XR declares, read by the library's
// header-only load of the open source, its reports dropped.
static int LibraryDeclaredSize(SourceFile *source, FREE_IMAGE_FORMAT format, DWORD *width, DWORD *height)
{
    FreeImageIO io;
    SourceImageIO(source, &io);
    int was = reportsGo;
    reportsGo = REPORTS_DROPPED;
    FIBITMAP *header = FreeImage_LoadFromHandle(format, &io, (fi_handle)source, FIF_LOAD_NOPIXELS);
    reportsGo = was;
    if (header == NULL)
        return IMAGE_SIZE_UNKNOWN;
    *width = FreeImage_GetWidth(header);
    *height = FreeImage_GetHeight(header);
    FreeImage_Unload(header);
    return IMAGE_SIZE_KNOWN;
}

// The format the library reads a source in: its content first, its name only when the
// content says nothing. FIF_UNKNOWN when unknown or unreadable.
static FREE_IMAGE_FORMAT SourceFormat(SourceFile *source, int opened)
{
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    if (opened) {
        FreeImageIO io;
        SourceImageIO(source, &io);
        format = FreeImage_GetFileTypeFromHandle(&io, (fi_handle)source, 0);
    }
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(source->libraryPath);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format))
        return FIF_UNKNOWN;
    return format;
}

FREE_IMAGE_FORMAT CheckedImageFormat(SourceFile *source, unsigned long long maxPixels)
{
    FREE_IMAGE_FORMAT format = SourceFormat(source, 1);
    if (format == FIF_UNKNOWN)
        return FIF_UNKNOWN;
    ImageBytes bytes;
    ImageBytesFromSource(&bytes, source);
    DWORD width = 0, height = 0;
    int told = ImageDeclaredSize(format, &bytes, &width, &height);
    if (told == IMAGE_SIZE_LIBRARY)
        told = LibraryDeclaredSize(source, format, &width, &height);
    if (told == IMAGE_SIZE_KNOWN && (unsigned long long)width * height > maxPixels)
        return FIF_UNKNOWN;
    return format;
}

// A file that could not be opened gets the report the library gives when its own open
// fails, for the format its name tells; one whose name tells none is passed over quietly.
static void ReportUnopened(SourceFile *source)
{
    FREE_IMAGE_FORMAT format = SourceFormat(source, 0);
    if (format == FIF_UNKNOWN)
        return;
    char message[SOURCE_PATH_CAP + 64];
    TextCopy(message, sizeof message, "FreeImage_Load: failed to open file ");
    TextAppend(message, sizeof message, source->libraryPath);
    RouteMessage(format, message);
}

// Loads the checked source and makes its thumbnail; JPEGs decode straight at the
// smallest scale that still gives the thumbnail all its pixels.
static void DecodeSource(SourceFile *source, int thumbSize, unsigned long long maxPixels, DecodeOutcome *outcome)
{
    FREE_IMAGE_FORMAT format = CheckedImageFormat(source, maxPixels);
    if (format == FIF_UNKNOWN)
        return;
    int scaled = format == FIF_JPEG && thumbSize > 0 && thumbSize <= 65535;
    int flags = scaled ? (int)((unsigned)thumbSize << 16) : 0;

    FreeImageIO io;
    SourceImageIO(source, &io);
    FIBITMAP *image = FreeImage_LoadFromHandle(format, &io, (fi_handle)source, flags);
    if (image == NULL)
        return;
    outcome->loaded = 1;
    outcome->width = FreeImage_GetWidth(image);
    outcome->height = FreeImage_GetHeight(image);
    DWORD originalWidth = OriginalJpegSize(image, "OriginalJPEGWidth");
    DWORD originalHeight = OriginalJpegSize(image, "OriginalJPEGHeight");
    scaled = scaled && originalWidth > 0 && originalHeight > 0;
    if (scaled) {
        outcome->width = originalWidth;
        outcome->height = originalHeight;
        outcome->thumbnail = ScaledJpegThumbnail(image, originalWidth, originalHeight, thumbSize);
    } else {
        outcome->thumbnail = FreeImage_MakeThumbnail(image, thumbSize, TRUE);
    }
    outcome->thumbnail = TurnUpright(outcome->thumbnail, ImageOrientation(image));
    DisplayedSize(image, &outcome->width, &outcome->height);
    FreeImage_Unload(image);
}

void DecodeImage(const char *path, int thumbSize, unsigned long long maxPixels, DecodeReportSink sink,
                 void *context, DecodeOutcome *outcome)
{
    memset(outcome, 0, sizeof *outcome);
    reportSink = sink;
    reportContext = context;
    reportsGo = REPORTS_DECODING;
    SourceFile *source = (SourceFile *)HeapAlloc(GetProcessHeap(), 0, sizeof *source);
    int opened = source != NULL ? SourceOpen(source, path) : SOURCE_REFUSED;
    if (opened == SOURCE_OPENED) {
        outcome->identified = 1;
        outcome->identity = source->identity;
        DecodeSource(source, thumbSize, maxPixels, outcome);
    } else if (opened == SOURCE_UNOPENED) {
        ReportUnopened(source);
    }
    if (source != NULL) {
        SourceClose(source);
        HeapFree(GetProcessHeap(), 0, source);
    }
    reportsGo = REPORTS_OUTSIDE;
}
