// Declared image sizes, read from the headers of every format the image library reads.
// Each reader follows the library's own reading of that header far enough to know what it
// would allocate, and stops there; a size it cannot find is unknown, never guessed small.
#include "imagesize.h"
#include "byteorder.h"
#include "../base/textbuf.h"

#include <string.h>

// Text headers (PNM, HDR, XBM, XPM) are searched this far for their size, no further.
#define TEXT_HEADER_MAX (64 * 1024)
// What the library loads from a Photo CD by default: the base image.
#define PCD_BASE_WIDTH 768
#define PCD_BASE_HEIGHT 512
#define KOALA_WIDTH 320
#define KOALA_HEIGHT 200

// Byte reading --------------------------------------------------------------------------

void ImageBytesFromMemory(ImageBytes *bytes, const BYTE *data, unsigned long long length)
{
    memset(bytes, 0, sizeof *bytes);
    bytes->data = data;
    bytes->length = length;
}

void ImageBytesFromSource(ImageBytes *bytes, SourceFile *source)
{
    ImageBytesFromMemory(bytes, NULL, source->identity.size);
    bytes->source = source;
}

// Copies count bytes (at most a window) from offset; 0 when the file ends before them.
static int ReadAt(ImageBytes *bytes, unsigned long long offset, void *out, DWORD count)
{
    if (count > IMAGE_BYTES_WINDOW || offset > bytes->length || bytes->length - offset < count)
        return 0;
    if (bytes->source == NULL) {
        memcpy(out, bytes->data + offset, count);
        return 1;
    }
    if (offset < bytes->windowStart || offset + count > bytes->windowStart + bytes->windowLength) {
        bytes->windowStart = offset;
        bytes->windowLength = SourceReadAt(bytes->source, offset, bytes->window, IMAGE_BYTES_WINDOW);
        if (bytes->windowLength < count)
            return 0;
    }
    memcpy(out, bytes->window + (offset - bytes->windowStart), count);
    return 1;
}

// A signed 32-bit field as the size it stands for: top-down and mirrored images count too.
static DWORD Magnitude(DWORD field)
{
    return (field & 0x80000000u) != 0 ? 0u - field : field;
}

static int Known(DWORD width, DWORD height, DWORD *outWidth, DWORD *outHeight)
{
    *outWidth = width;
    *outHeight = height;
    return IMAGE_SIZE_KNOWN;
}

// Fixed headers ---------------------------------------------------------------------------

// Formats whose size sits at fixed places of a short header: where, in which byte order.
struct FixedHeader {
    FREE_IMAGE_FORMAT format;
    DWORD widthAt, heightAt;
    int fieldBytes;   // 2 or 4
    int bigEndian;
    int isSigned;     // a negative field is a flipped image of that magnitude
};

static const FixedHeader fixedHeaders[] = {
    {FIF_TARGA, 12, 14, 2, 0, 0},
    {FIF_SGI, 6, 8, 2, 1, 0},
    {FIF_PSD, 18, 14, 4, 1, 0},
    {FIF_RAS, 4, 8, 4, 1, 0},
    {FIF_CUT, 0, 2, 2, 0, 0},
    {FIF_DDS, 16, 12, 4, 0, 0},
};

static int FixedHeaderSize(const FixedHeader *fixed, ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE header[24];
    DWORD last = fixed->widthAt > fixed->heightAt ? fixed->widthAt : fixed->heightAt;
    if (!ReadAt(bytes, 0, header, last + (DWORD)fixed->fieldBytes))
        return IMAGE_SIZE_UNKNOWN;
    DWORD w = OrderedNumber(header + fixed->widthAt, fixed->fieldBytes, fixed->bigEndian);
    DWORD h = OrderedNumber(header + fixed->heightAt, fixed->fieldBytes, fixed->bigEndian);
    return Known(fixed->isSigned ? Magnitude(w) : w, fixed->isSigned ? Magnitude(h) : h, width, height);
}

// BMP: the info header's size says which of the two layouts follows.
static int BmpSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE header[26];
    if (!ReadAt(bytes, 0, header, sizeof header))
        return IMAGE_SIZE_UNKNOWN;
    if (Le32(header + 14) == 12)
        return Known(Le16(header + 18), Le16(header + 20), width, height);
    return Known(Magnitude(Le32(header + 18)), Magnitude(Le32(header + 22)), width, height);
}

// PCX: a window of corners; the library takes its extent as unsigned, so a window whose
// corners are the wrong way round is as large as it then looks.
static int PcxSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE header[12];
    if (!ReadAt(bytes, 0, header, sizeof header))
        return IMAGE_SIZE_UNKNOWN;
    DWORD w = (DWORD)((int)Le16(header + 8) - (int)Le16(header + 4) + 1);
    DWORD h = (DWORD)((int)Le16(header + 10) - (int)Le16(header + 6) + 1);
    return Known(w, h, width, height);
}

// WBMP: a type, a fixed byte, optional extension bytes, then width and height as
// multi-byte integers of 7 bits each, accumulated in 32 bits as the library does.
static int WbmpNumber(ImageBytes *bytes, unsigned long long *at, DWORD *number)
{
    *number = 0;
    for (;;) {
        BYTE next;
        if (!ReadAt(bytes, (*at)++, &next, 1))
            return 0;
        *number += next & 0x7F;
        if ((next & 0x80) == 0)
            return 1;
        *number <<= 7;
    }
}

static int WbmpSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    unsigned long long at = 0;
    DWORD type, w, h;
    BYTE fixed;
    if (!WbmpNumber(bytes, &at, &type) || type != 0 || !ReadAt(bytes, at++, &fixed, 1))
        return IMAGE_SIZE_UNKNOWN;
    BYTE extension = fixed;
    while ((extension & 0x80) != 0)
        if (!ReadAt(bytes, at++, &extension, 1))
            return IMAGE_SIZE_UNKNOWN;
    if (!WbmpNumber(bytes, &at, &w) || !WbmpNumber(bytes, &at, &h))
        return IMAGE_SIZE_UNKNOWN;
    return Known(w, h, width, height);
}

// JPEG ----------------------------------------------------------------------------------------

// Reads the next marker code at *at as libjpeg does: anything up to an 0xFF is skipped,
// fill bytes are swallowed, and a stuffed 0xFF 0x00 is not a marker. 0 at the file's end.
static int NextJpegMarker(ImageBytes *bytes, unsigned long long *at, BYTE *marker)
{
    for (;;) {
        BYTE c;
        do {
            if (!ReadAt(bytes, (*at)++, &c, 1))
                return 0;
        } while (c != 0xFF);
        do {
            if (!ReadAt(bytes, (*at)++, &c, 1))
                return 0;
        } while (c == 0xFF);
        if (c != 0x00) {
            *marker = c;
            return 1;
        }
    }
}

static int IsStartOfFrame(BYTE marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// A walk of our own rather than libjpeg's jpeg_read_header: the Windows build links only
// FreeImage.dll, which does not export libjpeg, and a second libjpeg beside it would cost
// more than this walk, which reads a few bytes per segment and decodes nothing.
int JpegDeclaredSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE start[2];
    if (!ReadAt(bytes, 0, start, 2) || start[0] != 0xFF || start[1] != 0xD8)
        return IMAGE_SIZE_UNKNOWN;
    unsigned long long at = 2;
    BYTE marker;
    while (NextJpegMarker(bytes, &at, &marker)) {
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // TEM and restart markers stand alone
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA)
            return IMAGE_SIZE_UNKNOWN;  // a second SOI, or the end or a scan before any frame
        BYTE segment[7];
        if (!ReadAt(bytes, at, segment, 2) || Be16(segment) < 2)
            return IMAGE_SIZE_UNKNOWN;
        if (IsStartOfFrame(marker)) {
            if (!ReadAt(bytes, at, segment, sizeof segment))
                return IMAGE_SIZE_UNKNOWN;
            return Known(Be16(segment + 5), Be16(segment + 3), width, height);
        }
        at += Be16(segment);
    }
    return IMAGE_SIZE_UNKNOWN;
}

// Chunked containers ---------------------------------------------------------------------

static const BYTE pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// PNG, JNG and MNG: chunks after an 8-byte signature, each length, type, data, CRC. The
// size is the first header chunk's; an MNG's frame and its first embedded image both count,
// since the library decodes that image whatever the frame says.
static int PngFamilySize(ImageBytes *bytes, const char *firstChunk, DWORD *width, DWORD *height)
{
    unsigned long long at = 8;
    int mng = strcmp(firstChunk, "MHDR") == 0;
    DWORD w = 0, h = 0;
    for (int first = 1;; first = 0) {
        BYTE head[16];
        if (!ReadAt(bytes, at, head, sizeof head))
            break;
        int header = first ? memcmp(head + 4, firstChunk, 4) == 0
                           : memcmp(head + 4, "IHDR", 4) == 0 || memcmp(head + 4, "JHDR", 4) == 0;
        if (first && !header)
            return IMAGE_SIZE_UNKNOWN;
        if (header) {
            w = w > Be32(head + 8) ? w : Be32(head + 8);
            h = h > Be32(head + 12) ? h : Be32(head + 12);
            if (!mng || !first)
                break;
        }
        at += 12ull + Be32(head);
    }
    if (w == 0 && h == 0)
        return IMAGE_SIZE_UNKNOWN;
    return Known(w, h, width, height);
}

// GIF: the logical screen and the first frame, which is the one the library decodes.
static int GifSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE screen[13];
    if (!ReadAt(bytes, 0, screen, sizeof screen) || memcmp(screen, "GIF", 3) != 0)
        return IMAGE_SIZE_UNKNOWN;
    DWORD w = Le16(screen + 6), h = Le16(screen + 8);
    unsigned long long at = sizeof screen;
    if (screen[10] & 0x80)
        at += 3ull << ((screen[10] & 7) + 1);
    for (;;) {
        BYTE block;
        if (!ReadAt(bytes, at++, &block, 1) || block == 0x3B)
            break;
        if (block == 0x2C) {
            BYTE frame[8];
            if (ReadAt(bytes, at, frame, sizeof frame)) {
                w = w > Le16(frame + 4) ? w : Le16(frame + 4);
                h = h > Le16(frame + 6) ? h : Le16(frame + 6);
            }
            break;
        }
        if (block != 0x21)
            break;
        at++;  // the extension's label, then its sub-blocks up to an empty one
        BYTE length;
        while (ReadAt(bytes, at++, &length, 1) && length != 0)
            at += length;
    }
    return Known(w, h, width, height);
}

// ICO: the largest image of the directory, each measured by its own header (a PNG, or a
// BMP info header whose height counts the mask too), not by the directory's bytes.
static int IcoSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE directory[6];
    if (!ReadAt(bytes, 0, directory, sizeof directory) || Le16(directory) != 0 || Le16(directory + 4) == 0)
        return IMAGE_SIZE_UNKNOWN;
    DWORD w = 0, h = 0;
    for (DWORD i = 0; i < Le16(directory + 4); i++) {
        BYTE entry[16], image[24];
        if (!ReadAt(bytes, 6 + 16ull * i, entry, sizeof entry) || !ReadAt(bytes, Le32(entry + 12), image, sizeof image))
            return IMAGE_SIZE_UNKNOWN;
        int png = memcmp(image, pngSignature, sizeof pngSignature) == 0;
        DWORD imageWidth = png ? Be32(image + 16) : Magnitude(Le32(image + 4));
        DWORD imageHeight = png ? Be32(image + 20) : Magnitude(Le32(image + 8)) / 2;
        w = w > imageWidth ? w : imageWidth;
        h = h > imageHeight ? h : imageHeight;
    }
    return Known(w, h, width, height);
}

// IFF: the BMHD chunk of the FORM.
static int IffSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE form[12];
    if (!ReadAt(bytes, 0, form, sizeof form) || memcmp(form, "FORM", 4) != 0)
        return IMAGE_SIZE_UNKNOWN;
    for (unsigned long long at = sizeof form;;) {
        BYTE chunk[12];
        if (!ReadAt(bytes, at, chunk, sizeof chunk))
            return IMAGE_SIZE_UNKNOWN;
        if (memcmp(chunk, "BMHD", 4) == 0)
            return Known(Be16(chunk + 8), Be16(chunk + 10), width, height);
        at += 8ull + Be32(chunk + 4) + (Be32(chunk + 4) & 1);
    }
}

// JPEG 2000 codestream: the SIZ segment right after SOC; the image is the reference grid
// less its offset.
static int CodestreamSize(ImageBytes *bytes, unsigned long long at, DWORD *width, DWORD *height)
{
    BYTE siz[24];
    if (!ReadAt(bytes, at, siz, sizeof siz) || Be16(siz) != 0xFF4F || Be16(siz + 2) != 0xFF51)
        return IMAGE_SIZE_UNKNOWN;
    DWORD w = Be32(siz + 8), h = Be32(siz + 12), left = Be32(siz + 16), top = Be32(siz + 20);
    if (left > w || top > h)
        return IMAGE_SIZE_UNKNOWN;
    return Known(w - left, h - top, width, height);
}

// JP2: the boxes up to the codestream, whose SIZ is what the decoder allocates.
static int Jp2Size(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    for (unsigned long long at = 0;;) {
        BYTE box[16];
        if (!ReadAt(bytes, at, box, 8))
            return IMAGE_SIZE_UNKNOWN;
        unsigned long long length = Be32(box), header = 8;
        if (length == 1) {
            if (!ReadAt(bytes, at, box, sizeof box))
                return IMAGE_SIZE_UNKNOWN;
            length = ((unsigned long long)Be32(box + 8) << 32) | Be32(box + 12);
            header = 16;
        }
        if (memcmp(box + 4, "jp2c", 4) == 0)
            return CodestreamSize(bytes, at + header, width, height);
        if (length < header)
            return IMAGE_SIZE_UNKNOWN;  // 0 runs to the end: no codestream before it
        at += length;
    }
}

// WebP: the canvas of an extended file, or the frame of a lossy or lossless one.
static int WebpSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    BYTE head[30];
    if (!ReadAt(bytes, 0, head, sizeof head) || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WEBP", 4) != 0)
        return IMAGE_SIZE_UNKNOWN;
    if (memcmp(head + 12, "VP8X", 4) == 0)
        return Known(Le24(head + 24) + 1, Le24(head + 27) + 1, width, height);
    if (memcmp(head + 12, "VP8L", 4) == 0 && head[20] == 0x2F) {
        DWORD bits = Le32(head + 21);
        return Known((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1, width, height);
    }
    if (memcmp(head + 12, "VP8 ", 4) == 0 && head[23] == 0x9D && head[24] == 0x01 && head[25] == 0x2A)
        return Known(Le16(head + 26) & 0x3FFF, Le16(head + 28) & 0x3FFF, width, height);
    return IMAGE_SIZE_UNKNOWN;
}

// Text headers --------------------------------------------------------------------------

// The bounded start of a text header.
struct TextHeader {
    ImageBytes *bytes;
    unsigned long long at;
};

static int TextByte(TextHeader *text, BYTE *c)
{
    return text->at < TEXT_HEADER_MAX && ReadAt(text->bytes, text->at++, c, 1);
}

// The next decimal number, skipping blanks and, where comments are allowed, '#' lines.
// It saturates rather than wrap, so an absurd number stays absurd. 0 when none follows.
static int TextNumber(TextHeader *text, int comments, DWORD *number)
{
    BYTE c;
    do {
        if (!TextByte(text, &c))
            return 0;
        if (comments && c == '#')
            while (c != '\n')
                if (!TextByte(text, &c))
                    return 0;
    } while (c == ' ' || c == '\t' || c == '\r' || c == '\n');
    char digits[32];
    size_t count = 0;
    while (c >= '0' && c <= '9') {
        if (count < sizeof digits)
            digits[count++] = (char)c;  // more digits than these saturate anyway
        if (!TextByte(text, &c))
            break;
    }
    unsigned long long value;
    if (TextDigitsValue(digits, count, 0xFFFFFFFFull, &value) == 0)
        return 0;
    *number = (DWORD)value;
    return 1;
}

// PBM, PGM, PPM (plain and raw) and PFM: the magic, then width and height.
static int PnmSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    TextHeader text = {bytes, 2};
    DWORD w, h;
    if (!TextNumber(&text, 1, &w) || !TextNumber(&text, 1, &h))
        return IMAGE_SIZE_UNKNOWN;
    return Known(w, h, width, height);
}

// Skips to just after the first occurrence of a byte; 0 when it does not come.
static int TextSkipPast(TextHeader *text, BYTE wanted)
{
    BYTE c;
    do {
        if (!TextByte(text, &c))
            return 0;
    } while (c != wanted);
    return 1;
}

// Radiance HDR: header lines up to a blank one, then "-Y height +X width" (either axis
// first, either sign).
static int HdrSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    TextHeader text = {bytes, 0};
    BYTE c, previous = 0;
    for (;;) {
        if (!TextByte(&text, &c))
            return IMAGE_SIZE_UNKNOWN;
        if (c == '\n' && previous == '\n')
            break;
        previous = c;
    }
    DWORD sizes[2];
    BYTE axes[2];
    for (int i = 0; i < 2; i++) {
        BYTE sign;
        do {
            if (!TextByte(&text, &sign))
                return IMAGE_SIZE_UNKNOWN;
        } while (sign == ' ' || sign == '\t');
        if (!TextByte(&text, &axes[i]) || !TextNumber(&text, 0, &sizes[i]))
            return IMAGE_SIZE_UNKNOWN;
    }
    int xFirst = axes[0] == 'X';
    return Known(sizes[xFirst ? 0 : 1], sizes[xFirst ? 1 : 0], width, height);
}

// XPM: the first string of the array holds "width height colours chars-per-pixel".
static int XpmSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    TextHeader text = {bytes, 0};
    DWORD w, h;
    if (!TextSkipPast(&text, '{') || !TextSkipPast(&text, '"') || !TextNumber(&text, 0, &w)
        || !TextNumber(&text, 0, &h))
        return IMAGE_SIZE_UNKNOWN;
    return Known(w, h, width, height);
}

// XBM: "#define name_width N" and "#define name_height N", the part of the name after
// its last '_' telling which.
static int XbmSize(ImageBytes *bytes, DWORD *width, DWORD *height)
{
    TextHeader text = {bytes, 0};
    DWORD sizes[2] = {0, 0};
    int found = 0;
    while (found != 3 && TextSkipPast(&text, '#')) {
        char line[256];
        size_t length = 0;
        BYTE c;
        while (TextByte(&text, &c) && c != '\n')
            if (length + 1 < sizeof line)
                line[length++] = (char)c;
        line[length] = '\0';
        // "define", blanks, the name, blanks, the number
        if (strncmp(line, "define", 6) != 0 || (line[6] != ' ' && line[6] != '\t'))
            continue;
        char *name = line + 6;
        while (*name == ' ' || *name == '\t')
            name++;
        char *end = name;
        while (*end != '\0' && *end != ' ' && *end != '\t')
            end++;
        if (*end == '\0')
            continue;
        *end = '\0';
        const char *which = strrchr(name, '_');
        which = which != NULL ? which + 1 : name;
        int index = strcmp(which, "width") == 0 ? 0 : strcmp(which, "height") == 0 ? 1 : -1;
        unsigned long long value = 0;
        const char *digit = end + 1;
        while (*digit == ' ' || *digit == '\t')
            digit++;
        if (index < 0 || TextDigitsValue(digit, strlen(digit), 0xFFFFFFFFull, &value) == 0)
            continue;
        sizes[index] = (DWORD)value;
        found |= 1 << index;
    }
    if (found != 3)
        return IMAGE_SIZE_UNKNOWN;
    return Known(sizes[0], sizes[1], width, height);
}

// The declared size by format ---------------------------------------------------------------

int ImageDeclaredSize(FREE_IMAGE_FORMAT format, ImageBytes *bytes, DWORD *width, DWORD *height)
{
    *width = 0;
    *height = 0;
    for (const FixedHeader &fixed : fixedHeaders)
        if (fixed.format == format)
            return FixedHeaderSize(&fixed, bytes, width, height);
    switch (format) {
    case FIF_JPEG: return JpegDeclaredSize(bytes, width, height);
    case FIF_BMP: return BmpSize(bytes, width, height);
    case FIF_ICO: return IcoSize(bytes, width, height);
    case FIF_PNG: return PngFamilySize(bytes, "IHDR", width, height);
    case FIF_JNG: return PngFamilySize(bytes, "JHDR", width, height);
    case FIF_MNG: return PngFamilySize(bytes, "MHDR", width, height);
    case FIF_GIF: return GifSize(bytes, width, height);
    case FIF_WBMP: return WbmpSize(bytes, width, height);
    case FIF_PCX: return PcxSize(bytes, width, height);
    case FIF_IFF: return IffSize(bytes, width, height);
    case FIF_PBM: case FIF_PBMRAW: case FIF_PGM: case FIF_PGMRAW: case FIF_PPM: case FIF_PPMRAW: case FIF_PFM:
        return PnmSize(bytes, width, height);
    case FIF_HDR: return HdrSize(bytes, width, height);
    case FIF_XPM: return XpmSize(bytes, width, height);
    case FIF_XBM: return XbmSize(bytes, width, height);
    case FIF_J2K: return CodestreamSize(bytes, 0, width, height);
    case FIF_JP2: return Jp2Size(bytes, width, height);
    case FIF_WEBP: return WebpSize(bytes, width, height);
    case FIF_KOALA: return Known(KOALA_WIDTH, KOALA_HEIGHT, width, height);
    case FIF_PCD: return Known(PCD_BASE_WIDTH, PCD_BASE_HEIGHT, width, height);
    // Directories of tags and attribute lists: the library's header-only load reads them
    // and nothing else (TIFF and OpenEXR checked with headers declaring 60000 x 60000: no
    // time, no memory); for camera RAW it opens the file without unpacking, for JPEG XR it
    // reads the container's tags.
    case FIF_TIFF: case FIF_EXR: case FIF_RAW: case FIF_JXR:
        return IMAGE_SIZE_LIBRARY;
    // PICT's pixel maps carry their own bounds deep in the opcode stream, and a G3 fax's
    // height is known only once its rows are decoded: left to the memory ceiling.
    default:
        return IMAGE_SIZE_UNKNOWN;
    }
}
