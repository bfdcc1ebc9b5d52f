#include "orientation.h"
#include "byteorder.h"

#include <string.h>

#define EXIF_ORIENTATION_TAG 0x0112
#define TIFF_TYPE_SHORT 3

// The four orientations past 4 store the picture turned by a quarter.
static int TurnsByQuarter(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

int ImageOrientation(FIBITMAP *image)
{
    FITAG *tag = NULL;
    if (image == NULL || !FreeImage_GetMetadata(FIMD_EXIF_MAIN, image, "Orientation", &tag) || tag == NULL)
        return 1;
    // anything but one SHORT from 1 to 8 is not an orientation a viewer would follow
    if (FreeImage_GetTagType(tag) != FIDT_SHORT || FreeImage_GetTagCount(tag) != 1
        || FreeImage_GetTagLength(tag) != sizeof(WORD))
        return 1;
    WORD value;
    memcpy(&value, FreeImage_GetTagValue(tag), sizeof value);
    return value >= 1 && value <= 8 ? value : 1;
}

void DisplayedSize(FIBITMAP *image, DWORD *width, DWORD *height)
{
    if (!TurnsByQuarter(ImageOrientation(image)))
        return;
    DWORD stored = *width;
    *width = *height;
    *height = stored;
}

// A quarter turn (FreeImage turns counter-clockwise for a positive angle) as a new
// image. The library carries pixels, palette, transparency, background and metadata
// over, but not the colour profile; and the resolution's axes change places.
static FIBITMAP *QuarterTurn(FIBITMAP *image, double angle)
{
    FIBITMAP *turned = FreeImage_Rotate(image, angle, NULL);
    if (turned == NULL)
        return NULL;
    FIICCPROFILE *profile = FreeImage_GetICCProfile(image);
    if (profile != NULL && profile->data != NULL && profile->size > 0)
        FreeImage_CreateICCProfile(turned, profile->data, profile->size);
    FreeImage_SetDotsPerMeterX(turned, FreeImage_GetDotsPerMeterY(image));
    FreeImage_SetDotsPerMeterY(turned, FreeImage_GetDotsPerMeterX(image));
    return turned;
}

// What undoes each orientation: a quarter turn (counter-clockwise degrees, or none), then
// mirrors. Indexed by the orientation; 0 and 1 need nothing.
struct Undo {
    int angle;
    int mirrorLeftRight;
    int mirrorTopBottom;
};

static const Undo undos[9] = {
    {0, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {90, 0, 1}, {-90, 0, 0}, {-90, 0, 1}, {90, 0, 0},
};

// The stored picture turned and mirrored as the orientation says it is to be seen.
// Mirrors work in place; a quarter turn makes a new image. NULL when the library could
// not do it (a pixel format that it does not turn).
static FIBITMAP *TurnPixels(FIBITMAP *image, int orientation)
{
    const Undo *undo = &undos[orientation];
    FIBITMAP *turned = undo->angle != 0 ? QuarterTurn(image, undo->angle) : image;
    int done = turned != NULL;
    if (done && undo->mirrorLeftRight)
        done = FreeImage_FlipHorizontal(turned);
    if (done && undo->mirrorTopBottom)
        done = FreeImage_FlipVertical(turned);
    if (done)
        return turned;
    if (turned != NULL && turned != image)
        FreeImage_Unload(turned);
    return NULL;
}

// The offset of the value of the first IFD's Orientation entry inside a raw Exif block
// ("Exif\0\0" and a TIFF structure), or 0 when the block holds no well-formed one.
static DWORD RawOrientationOffset(const BYTE *raw, DWORD length)
{
    const DWORD tiffStart = 6;
    if (length < tiffStart + 8 || memcmp(raw, "Exif\0\0", 6) != 0)
        return 0;
    const BYTE *tiff = raw + tiffStart;
    DWORD size = length - tiffStart;
    int bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return 0;
    DWORD ifd = OrderedNumber(tiff + 4, 4, bigEndian);
    if (ifd < 8 || ifd > size - 2)
        return 0;
    DWORD count = OrderedNumber(tiff + ifd, 2, bigEndian);
    for (DWORD i = 0; i < count && ifd + 2 + 12 * (i + 1) <= size; i++) {
        const BYTE *entry = tiff + ifd + 2 + 12 * i;
        if (OrderedNumber(entry, 2, bigEndian) != EXIF_ORIENTATION_TAG)
            continue;
        if (OrderedNumber(entry + 2, 2, bigEndian) != TIFF_TYPE_SHORT || OrderedNumber(entry + 4, 4, bigEndian) != 1)
            return 0;
        return tiffStart + (DWORD)(entry + 8 - tiff);
    }
    return 0;
}

// Writes 1 into the raw Exif block that the JPEG and WebP writers save as it is. A block
// whose orientation cannot be found and rewritten is dropped: the thumbnail must not
// carry the old turn.
static void MarkRawExifUpright(FIBITMAP *image)
{
    FITAG *tag = NULL;
    if (!FreeImage_GetMetadata(FIMD_EXIF_RAW, image, "ExifRaw", &tag) || tag == NULL)
        return;
    DWORD length = FreeImage_GetTagLength(tag);
    BYTE *copy = length > 0 ? (BYTE *)HeapAlloc(GetProcessHeap(), 0, length) : NULL;
    DWORD at = 0;
    if (copy != NULL) {
        memcpy(copy, FreeImage_GetTagValue(tag), length);
        at = RawOrientationOffset(copy, length);
    }
    if (at != 0) {
        int bigEndian = copy[6] == 'M';
        copy[at + (bigEndian ? 0 : 1)] = 0;
        copy[at + (bigEndian ? 1 : 0)] = 1;
    }
    if (at == 0 || !FreeImage_SetTagValue(tag, copy))
        FreeImage_SetMetadata(FIMD_EXIF_RAW, image, "ExifRaw", NULL);
    if (copy != NULL)
        HeapFree(GetProcessHeap(), 0, copy);
}

// The thumbnail's Exif says 1 from now on, in the parsed tags (which the TIFF writer
// saves) and in the raw block.
static void MarkUpright(FIBITMAP *image)
{
    FITAG *tag = NULL;
    WORD upright = 1;
    if (FreeImage_GetMetadata(FIMD_EXIF_MAIN, image, "Orientation", &tag) && tag != NULL
        && !FreeImage_SetTagValue(tag, &upright))
        FreeImage_SetMetadata(FIMD_EXIF_MAIN, image, "Orientation", NULL);
    MarkRawExifUpright(image);
}

FIBITMAP *TurnUpright(FIBITMAP *thumb, int orientation)
{
    if (thumb == NULL || orientation < 2 || orientation > 8)
        return thumb;
    FIBITMAP *turned = TurnPixels(thumb, orientation);
    if (turned == NULL)
        return thumb;
    if (turned != thumb)
        FreeImage_Unload(thumb);
    MarkUpright(turned);
    return turned;
}
