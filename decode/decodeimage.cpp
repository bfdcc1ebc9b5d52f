#include "decodeimage.h"
#include "imagesize.h"
#include "loader.h"
#include "orientation.h"

#include <string.h>

static FreeImage_OutputMessageFunction outsideHandler;
static DecodeReportSink reportSink;
static void *reportContext;
static int decoding;

// FreeImage's one message hook: a report made while an image decodes belongs to that
// image, and reaches the user only when the job comes to it; any other is shown at once.
static void RouteMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    if (!decoding) {
        if (outsideHandler != NULL)
            outsideHandler(format, message);
    } else if (reportSink != NULL) {
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
    DWORD length = FreeImage_GetTagLength(tag);
    DWORD number = 0;
    for (DWORD i = 0; i < length && value[i] >= '0' && value[i] <= '9'; i++)
        number = number * 10 + (DWORD)(value[i] - '0');
    return number;
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

// Loads one image and makes its thumbnail; JPEGs decode straight at the smallest scale
// that still gives the thumbnail all its pixels.
static void DecodeInto(const char *path, int thumbSize, unsigned long long maxPixels, DecodeOutcome *outcome)
{
    FREE_IMAGE_FORMAT format = CheckedImageFormat(path, maxPixels, RouteMessage);
    if (format == FIF_UNKNOWN)
        return;
    int scaled = format == FIF_JPEG && thumbSize > 0 && thumbSize <= 65535;
    int flags = scaled ? (int)((unsigned)thumbSize << 16) : 0;

    FIBITMAP *image = GenericLoader(path, flags);
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
    decoding = 1;
    DecodeInto(path, thumbSize, maxPixels, outcome);
    decoding = 0;
}
