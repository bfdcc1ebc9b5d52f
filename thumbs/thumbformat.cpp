#include "thumbformat.h"

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

// A thumbnail smaller than the size is the source's own pixels, which may be 16 bits per
// channel or have alpha; saved as JPEG either would be refused and leave the record
// pointing at a thumbnail that was never written.
FIBITMAP *ThumbnailForFormat(FIBITMAP *image, FREE_IMAGE_FORMAT format)
{
    if (image == NULL || format == FIF_UNKNOWN)
        return image;
    if (!FreeImage_FIFSupportsExportType(format, FreeImage_GetImageType(image)))
        image = Replace(image, StandardBitmap(image, format));
    if (FreeImage_GetImageType(image) == FIT_BITMAP && !StoresDepth(image, format)
        && FreeImage_FIFSupportsExportBPP(format, 24))
        image = Replace(image, FreeImage_ConvertTo24Bits(image));
    return image;
}
