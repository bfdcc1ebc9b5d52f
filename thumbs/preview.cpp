#include "thumbs.h"
#include "../base/progress.h"
#include "../base/state.h"

#include <string.h>

// The description dialog's picture of the thumbnail it describes: the bitmap the job will
// save, made displayable (palettes, grey, 1 and 16 bits as their colours; transparency
// over the dialog's background; float pixels tone-mapped), scaled down to fit when it is
// larger than the room, never up. The job's bitmap itself is only read.

// A 32-bit copy of any bitmap the job can make, for display; NULL when there is none.
static FIBITMAP *DisplayableCopy(FIBITMAP *image)
{
    switch (FreeImage_GetImageType(image)) {
    case FIT_BITMAP:
    case FIT_RGB16:
    case FIT_RGBA16:
        return FreeImage_ConvertTo32Bits(image);
    case FIT_FLOAT:
    case FIT_RGBF:
    case FIT_RGBAF: {
        FIBITMAP *mapped = FreeImage_ToneMapping(image, FITMO_DRAGO03, 0, 0);
        FIBITMAP *copy = mapped != NULL ? FreeImage_ConvertTo32Bits(mapped) : NULL;
        if (mapped != NULL)
            FreeImage_Unload(mapped);
        return copy;
    }
    default: {
        FIBITMAP *standard = FreeImage_ConvertToStandardType(image, TRUE);
        FIBITMAP *copy = standard != NULL ? FreeImage_ConvertTo32Bits(standard) : NULL;
        if (standard != NULL)
            FreeImage_Unload(standard);
        return copy;
    }
    }
}

// One channel of a pixel laid over the background by its alpha.
static BYTE Blend(BYTE value, BYTE background, BYTE alpha)
{
    return (BYTE)((value * alpha + background * (255 - alpha) + 127) / 255);
}

// The room's fitted size for an image: its own when it fits, else scaled down keeping the
// proportion, at least one pixel each way.
static void FitSize(int width, int height, int roomWidth, int roomHeight, int *fitWidth, int *fitHeight)
{
    *fitWidth = width;
    *fitHeight = height;
    if (width > roomWidth || height > roomHeight) {
        double scale = (double)roomWidth / width < (double)roomHeight / height ? (double)roomWidth / width
                                                                               : (double)roomHeight / height;
        *fitWidth = (int)(width * scale);
        *fitHeight = (int)(height * scale);
    }
    if (*fitWidth < 1)
        *fitWidth = 1;
    if (*fitHeight < 1)
        *fitHeight = 1;
}

// Copies the displayable pixels into the top-down section, each output pixel taken from
// the source pixel under it, laid over the background.
static void FillSection(FIBITMAP *copy, BYTE *bits, int fitWidth, int fitHeight, COLORREF background)
{
    int width = (int)FreeImage_GetWidth(copy);
    int height = (int)FreeImage_GetHeight(copy);
    for (int y = 0; y < fitHeight; y++) {
        // FreeImage keeps its lines bottom-up
        const BYTE *source = FreeImage_GetScanLine(copy, height - 1 - (int)((long long)y * height / fitHeight));
        BYTE *out = bits + (size_t)y * fitWidth * 4;
        for (int x = 0; x < fitWidth; x++) {
            const BYTE *pixel = source + (size_t)((long long)x * width / fitWidth) * 4;
            out[4 * x + 0] = Blend(pixel[FI_RGBA_BLUE], GetBValue(background), pixel[FI_RGBA_ALPHA]);
            out[4 * x + 1] = Blend(pixel[FI_RGBA_GREEN], GetGValue(background), pixel[FI_RGBA_ALPHA]);
            out[4 * x + 2] = Blend(pixel[FI_RGBA_RED], GetRValue(background), pixel[FI_RGBA_ALPHA]);
            out[4 * x + 3] = 0;
        }
    }
}

// The picture of the image for a room of the given size, over the given background;
// NULL when the image cannot be shown.
HBITMAP MakePreviewBitmap(FIBITMAP *image, int roomWidth, int roomHeight, COLORREF background)
{
    FIBITMAP *copy = image != NULL ? DisplayableCopy(image) : NULL;
    if (copy == NULL)
        return NULL;
    int fitWidth, fitHeight;
    FitSize((int)FreeImage_GetWidth(copy), (int)FreeImage_GetHeight(copy), roomWidth, roomHeight, &fitWidth,
            &fitHeight);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = fitWidth;
    info.bmiHeader.biHeight = -fitHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP section = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (section != NULL)
        FillSection(copy, (BYTE *)bits, fitWidth, fitHeight, background);
    FreeImage_Unload(copy);
    return section;
}

// Draws the picture centred in the control, the rest in the dialog's background.
void DrawPreview(const DRAWITEMSTRUCT *item, HBITMAP picture)
{
    FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
    BITMAP size;
    if (picture == NULL || !GetObjectA(picture, sizeof size, &size))
        return;
    HDC pictureDC = CreateCompatibleDC(item->hDC);
    HGDIOBJ before = SelectObject(pictureDC, picture);
    int x = item->rcItem.left + (item->rcItem.right - item->rcItem.left - size.bmWidth) / 2;
    int y = item->rcItem.top + (item->rcItem.bottom - item->rcItem.top - size.bmHeight) / 2;
    BitBlt(item->hDC, x, y, size.bmWidth, size.bmHeight, pictureDC, 0, 0, SRCCOPY);
    SelectObject(pictureDC, before);
    DeleteDC(pictureDC);
}

// "150 x 113, 3 of 20": the thumbnail's own pixel size and where the entry stands.
void FormatPreviewInfo(char *text, size_t cap, FIBITMAP *image, int index, int total)
{
    text[0] = '\0';
    if (image != NULL) {
        TextAppendUnsigned(text, cap, FreeImage_GetWidth(image));
        TextAppend(text, cap, " x ");
        TextAppendUnsigned(text, cap, FreeImage_GetHeight(image));
        TextAppend(text, cap, ", ");
    }
    char count[64];
    FormatCount(count, sizeof count, index, total);
    TextAppend(text, cap, count);
}
