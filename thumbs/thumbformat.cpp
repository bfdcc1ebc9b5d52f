#include "thumbformat.h"
#include "../base/base.h"
#include "../base/state.h"
#include "thumbfile.h"

#include <string.h>

// What one output format asks of a thumbnail beyond what the library's export checks say.
// depth: the only bits per pixel a file of this extension holds (0: whatever the format
// exports); minDepth: fewer bits are written but cannot be read back; minSide, maxSide:
// the sides, in pixels, that the writer takes (0: no limit of its own).
struct FormatNeeds {
    FREE_IMAGE_FORMAT format;
    unsigned depth;
    unsigned minDepth;
    int minSide;
    int maxSide;
};

// The netpbm family shares one writer that picks the kind from the bitmap's depth, so a
// colour thumbnail would become a PPM under a .pbm name; the GIF and WBMP writers refuse
// anything but a palette or one bit; the PSD writer makes unreadable files of greyscale;
// an icon is a square of 16 to 256 pixels; the JPEG 2000 writer needs 32 pixels a side
// for its resolution levels; WebP stops at 16383 pixels a side.
static const FormatNeeds formatNeeds[] = {
    {FIF_PBM, 1, 0, 0, 0}, {FIF_PBMRAW, 1, 0, 0, 0}, {FIF_WBMP, 1, 0, 0, 0},
    {FIF_PGM, 8, 0, 0, 0}, {FIF_PGMRAW, 8, 0, 0, 0}, {FIF_GIF, 8, 0, 0, 0},
    {FIF_PPM, 24, 0, 0, 0}, {FIF_PPMRAW, 24, 0, 0, 0},
    {FIF_PSD, 0, 24, 0, 0},
    {FIF_ICO, 0, 0, 0, 256}, {FIF_J2K, 0, 0, 32, 0}, {FIF_JP2, 0, 0, 32, 0},
    {FIF_WEBP, 0, 0, 0, 16383},
};

#define ICON_MIN_SIDE 16

// The needs of a format; an entry of zeros for one without needs of its own.
static FormatNeeds NeedsOf(FREE_IMAGE_FORMAT format)
{
    for (const FormatNeeds &needs : formatNeeds) {
        if (needs.format == format)
            return needs;
    }
    return FormatNeeds{format, 0, 0, 0, 0};
}

// Whether the library can make a thumbnail file of this format at all. The JPEG-XR
// writer of the library fails on colour bitmaps and crashes on greyscale ones, so it is
// not offered.
static int WritesFormat(FREE_IMAGE_FORMAT format)
{
    return format != FIF_UNKNOWN && format != FIF_JXR && FreeImage_FIFSupportsWriting(format);
}

// Whether the format can write a standard bitmap of this depth. JPEG claims 32 bits, but
// only for CMYK; an RGBA thumbnail is refused when saved.
static int StoresDepth(FIBITMAP *image, FREE_IMAGE_FORMAT format)
{
    unsigned bpp = FreeImage_GetBPP(image);
    if (!FreeImage_FIFSupportsExportBPP(format, (int)bpp))
        return 0;
    return !(format == FIF_JPEG && bpp == 32 && FreeImage_GetColorType(image) != FIC_CMYK);
}

// Replaces image by converted when the conversion worked.
static FIBITMAP *Replace(FIBITMAP *image, FIBITMAP *converted)
{
    if (converted == NULL || converted == image)
        return image;
    FreeImage_Unload(image);
    return converted;
}

// A bitmap of a colour type the format refuses, made of 8-bit channels: with alpha if the
// format stores 32 bits, else 24. Greyscale and numeric types become 8-bit greyscale.
static FIBITMAP *StandardBitmap(FIBITMAP *image, FREE_IMAGE_FORMAT format)
{
    switch (FreeImage_GetImageType(image)) {
    case FIT_RGBA16:
    case FIT_RGBAF:
        if (FreeImage_FIFSupportsExportBPP(format, 32) && format != FIF_JPEG)
            return FreeImage_ConvertTo32Bits(image);
        return FreeImage_ConvertTo24Bits(image);
    case FIT_RGB16:
    case FIT_RGBF:
        return FreeImage_ConvertTo24Bits(image);
    default:
        return FreeImage_ConvertToStandardType(image, TRUE);
    }
}

// Formats that hold floating-point pixels only (Radiance HDR, OpenEXR, PFM): RGB floats,
// with alpha where the format keeps it.
static FIBITMAP *FloatBitmap(FIBITMAP *image, FREE_IMAGE_FORMAT format)
{
    if (FreeImage_FIFSupportsExportType(format, FIT_RGBAF) && FreeImage_GetBPP(image) == 32)
        return FreeImage_ConvertToRGBAF(image);
    if (FreeImage_FIFSupportsExportType(format, FIT_RGBF))
        return FreeImage_ConvertToRGBF(image);
    return FreeImage_ConvertToFloat(image);
}

// A standard bitmap brought to the one depth its format's files hold: one bit by a fixed
// threshold, a greyscale or a quantised palette of 8 bits, or plain 24-bit colour.
static FIBITMAP *BitmapOfDepth(FIBITMAP *image, FREE_IMAGE_FORMAT format, unsigned depth)
{
    unsigned bpp = FreeImage_GetBPP(image);
    if (depth == 1)
        return bpp == 1 ? image : Replace(image, FreeImage_Threshold(image, 128));
    if (format == FIF_GIF) {
        if (bpp == 8)
            return image;
        image = Replace(image, FreeImage_ConvertTo24Bits(image));
        return Replace(image, FreeImage_ColorQuantize(image, FIQ_WUQUANT));
    }
    if (depth == 8)
        return bpp == 8 && FreeImage_GetColorType(image) == FIC_MINISBLACK
                   ? image : Replace(image, FreeImage_ConvertToGreyscale(image));
    return bpp == 24 ? image : Replace(image, FreeImage_ConvertTo24Bits(image));
}

// An icon is square: the thumbnail in the middle of a transparent square of its longer
// side, at least the smallest icon.
static FIBITMAP *SquareIcon(FIBITMAP *image)
{
    unsigned width = FreeImage_GetWidth(image);
    unsigned height = FreeImage_GetHeight(image);
    unsigned side = width > height ? width : height;
    if (side < ICON_MIN_SIDE)
        side = ICON_MIN_SIDE;
    if (width == side && height == side)
        return image;
    image = Replace(image, FreeImage_ConvertTo32Bits(image));
    FIBITMAP *square = FreeImage_Allocate((int)side, (int)side, 32, 0, 0, 0);
    if (square == NULL)
        return image;
    if (!FreeImage_Paste(square, image, (int)(side - width) / 2, (int)(side - height) / 2, 256)) {
        FreeImage_Unload(square);
        return image;
    }
    return Replace(image, square);
}

// A thumbnail smaller than the size is the source's own pixels, which may be 16 bits per
// channel or have alpha; saved as JPEG either would be refused and leave no thumbnail.
FIBITMAP *ThumbnailForFormat(FIBITMAP *image, FREE_IMAGE_FORMAT format)
{
    if (image == NULL || !WritesFormat(format))
        return image;
    if (!FreeImage_FIFSupportsExportType(format, FreeImage_GetImageType(image))) {
        if (FreeImage_FIFSupportsExportType(format, FIT_BITMAP))
            image = Replace(image, StandardBitmap(image, format));
        else
            return Replace(image, FloatBitmap(image, format));
    }
    if (FreeImage_GetImageType(image) != FIT_BITMAP)
        return image;
    FormatNeeds needs = NeedsOf(format);
    if (needs.depth != 0)
        image = BitmapOfDepth(image, format, needs.depth);
    else if ((!StoresDepth(image, format) || FreeImage_GetBPP(image) < needs.minDepth) &&
             FreeImage_FIFSupportsExportBPP(format, 24))
        image = Replace(image, FreeImage_ConvertTo24Bits(image));
    if (format == FIF_ICO)
        image = SquareIcon(image);
    return image;
}

// Whether a text holds any of the bytes that would take a name out of its folder.
static int HoldsPathBytes(const char *text, const char *bytes)
{
    return strpbrk(text, bytes) != NULL;
}

// Shows the refusal of a Run! setting: the reason, then the text the user typed.
static void ShowRefusal(HWND owner, const char *reason, const char *typed)
{
    ShowNamedError(owner, reason, typed, MB_ICONWARNING);
}

// The settings of a thumbnail job that would write outside the thumbnails folder or make
// files that are not thumbnails, or a directory too deep for the job's own files, are
// refused here, each with a box naming what was typed. A suffix whose extension the
// library does not know is let through: such a job quietly makes nothing.
int ThumbSettingsAccepted(HWND owner, const char *dir, const char *mask, const char *suffix, int size)
{
    if (strlen(dir) > WORK_DIR_MAX) {
        char reason[128];
        TextCopy(reason, sizeof reason, "Путь папки длиннее ");
        TextAppendUnsigned(reason, sizeof reason, WORK_DIR_MAX);
        TextAppend(reason, sizeof reason, " символов, миниатюры в ней не записать:\n");
        ShowRefusal(owner, reason, dir);
        return 0;
    }
    // a mask with a folder in it lists another folder's names, which the job would then
    // look for here
    if (HoldsPathBytes(mask, "\\/:")) {
        ShowRefusal(owner, "Маска поиска не может содержать \\ / или :\n", mask);
        return 0;
    }
    if (HoldsPathBytes(suffix, "\\/:") || strstr(suffix, "..") != NULL) {
        ShowRefusal(owner, "Суффикс имени миниатюр не может содержать \\ / : или ..\n", suffix);
        return 0;
    }
    FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(suffix);
    if (format == FIF_UNKNOWN)
        return 1;
    if (!WritesFormat(format)) {
        ShowRefusal(owner, "Миниатюры в этом формате не записываются:\n", suffix);
        return 0;
    }
    FormatNeeds needs = NeedsOf(format);
    if ((needs.maxSide != 0 && size > needs.maxSide) || size < needs.minSide) {
        char reason[96];
        TextCopy(reason, sizeof reason, "Размер миниатюр в этом формате: ");
        TextAppendInt(reason, sizeof reason, needs.minSide > THUMB_SIZE_MIN ? needs.minSide : THUMB_SIZE_MIN);
        TextAppend(reason, sizeof reason, "-");
        TextAppendInt(reason, sizeof reason, needs.maxSide != 0 ? needs.maxSide : THUMB_SIZE_MAX);
        TextAppend(reason, sizeof reason, "\n");
        ShowRefusal(owner, reason, suffix);
        return 0;
    }
    return 1;
}
