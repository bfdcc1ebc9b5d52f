#include <math.h>

#include "hostile.h"

void Put(std::string &bytes, unsigned value, int count, bool bigEndian)
{
    for (int i = 0; i < count; i++) {
        int shift = bigEndian ? 8 * (count - 1 - i) : 8 * i;
        bytes.push_back((char)((value >> shift) & 0xFF));
    }
}

// Appends each value as count bytes in the given order: a header's fields of one width.
static void PutEach(std::string &bytes, std::initializer_list<unsigned> values, int count, bool bigEndian)
{
    for (unsigned value : values)
        Put(bytes, value, count, bigEndian);
}

FIBITMAP *Picture(int width, int height, int bpp)
{
    FIBITMAP *picture = FreeImage_Allocate(width, height, bpp);
    int bytes = bpp / 8;
    for (int y = 0; y < height; y++) {
        BYTE *line = FreeImage_GetScanLine(picture, y);
        for (int x = 0; x < width; x++) {
            line[bytes * x + 0] = (BYTE)(x * 255 / width);
            line[bytes * x + 1] = (BYTE)(y * 255 / height);
            line[bytes * x + 2] = (BYTE)(128 + 100 * sin(x / 37.0) * cos(y / 23.0));
            if (bytes == 4)
                line[bytes * x + 3] = (BYTE)(x % 256);
        }
    }
    return picture;
}

std::string Encode(FIBITMAP *picture, FREE_IMAGE_FORMAT format, int flags)
{
    FIMEMORY *memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(format, picture, memory, flags);
    BYTE *data = NULL;
    DWORD length = 0;
    FreeImage_AcquireMemory(memory, &data, &length);
    std::string bytes((const char *)data, length);
    FreeImage_CloseMemory(memory);
    return bytes;
}

static std::string EncodedPicture(int width, int height, int flags)
{
    FIBITMAP *picture = Picture(width, height);
    std::string bytes = Encode(picture, FIF_JPEG, flags);
    FreeImage_Unload(picture);
    return bytes;
}

std::string Jpeg(int width, int height) { return EncodedPicture(width, height, 90); }
std::string ProgressiveJpeg(int width, int height) { return EncodedPicture(width, height, 90 | JPEG_PROGRESSIVE); }

std::string JpegSegment(unsigned char marker, const std::string &payload)
{
    std::string segment("\xFF", 1);
    segment.push_back((char)marker);
    Put(segment, (unsigned)payload.size() + 2, 2, true);
    return segment + payload;
}

std::string AfterSoi(const std::string &jpeg, const std::string &inserted)
{
    return jpeg.substr(0, 2) + inserted + jpeg.substr(2);
}

std::string WithFrameSize(const std::string &jpeg, unsigned width, unsigned height)
{
    // the library's JPEGs hold no 0xFF in the segments before the frame but markers
    size_t at = 2;
    while (at + 4 < jpeg.size() && (unsigned char)jpeg[at + 1] != 0xC0 && (unsigned char)jpeg[at + 1] != 0xC2)
        at += 2 + (((unsigned char)jpeg[at + 2] << 8) | (unsigned char)jpeg[at + 3]);
    std::string patched = jpeg;
    std::string size;
    Put(size, height, 2, true);
    Put(size, width, 2, true);
    patched.replace(at + 5, 4, size);
    return patched;
}

std::string SgiBomb(unsigned width, unsigned height)
{
    std::string sgi;
    Put(sgi, 474, 2, true);
    sgi += std::string("\x00\x01", 2);  // verbatim, one byte per channel
    PutEach(sgi, {2, width, height, 1}, 2, true);  // dimensions, width, height, channels
    PutEach(sgi, {0, 255}, 4, true);
    return sgi + std::string(512 - sgi.size(), '\0');
}

std::string GifBomb(unsigned screenWidth, unsigned screenHeight, unsigned frameWidth, unsigned frameHeight)
{
    std::string gif = "GIF89a";
    PutEach(gif, {screenWidth, screenHeight}, 2, false);
    gif += std::string("\x80\x00\x00", 3);  // a global table of two colours
    gif += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    gif += std::string("\x21\xF9\x04\x00\x00\x00\x00\x00", 8);  // graphic control
    gif += "\x2C";
    PutEach(gif, {0, 0, frameWidth, frameHeight}, 2, false);
    gif += std::string("\x00\x02\x02\x44\x01\x00\x3B", 7);
    return gif;
}

// WBMP's multi-byte integers: 7 bits a byte, most significant first.
static void PutWbmpNumber(std::string &bytes, unsigned long long value)
{
    std::string groups;
    do {
        groups.insert(groups.begin(), (char)(value & 0x7F));
        value >>= 7;
    } while (value != 0);
    for (size_t i = 0; i + 1 < groups.size(); i++)
        groups[i] = (char)(groups[i] | 0x80);
    bytes += groups;
}

std::string WbmpBomb(unsigned long long width, unsigned long long height)
{
    std::string wbmp("\x00\x00", 2);
    PutWbmpNumber(wbmp, width);
    PutWbmpNumber(wbmp, height);
    return wbmp + std::string(64, '\x55');
}

std::string DdsBomb(unsigned width, unsigned height)
{
    std::string dds = "DDS ";
    PutEach(dds, {124, 0x1007, height, width}, 4, false);  // flags: caps, height, width, pixel format
    dds += std::string(128 - dds.size(), '\0');
    // the pixel format: 32 bytes, uncompressed 32-bit RGBA
    std::string format;
    PutEach(format, {32, 0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, 4, false);
    dds.replace(76, format.size(), format);
    return dds + std::string(64, '\x55');
}

std::string IcoBomb(unsigned width, unsigned height, bool png)
{
    std::string ico;
    PutEach(ico, {0, 1, 1}, 2, false);
    ico += std::string("\x10\x10\x00\x00", 4);  // the directory says 16 x 16
    PutEach(ico, {1, 32}, 2, false);
    PutEach(ico, {128, 22}, 4, false);
    if (png) {
        ico += std::string("\x89PNG\r\n\x1A\n", 8);
        Put(ico, 13, 4, true);
        ico += "IHDR";
        PutEach(ico, {width, height}, 4, true);
        ico += std::string("\x08\x06\x00\x00\x00", 5);
    } else {
        PutEach(ico, {40, width, height * 2}, 4, false);
        PutEach(ico, {1, 32}, 2, false);
        ico += std::string(24, '\0');
    }
    return ico + std::string(128, '\x55');
}

std::string PcxBomb(unsigned width, unsigned height)
{
    std::string pcx("\x0A\x05\x01\x08", 4);
    PutEach(pcx, {0, 0, width - 1, height - 1, 72, 72}, 2, false);
    pcx += std::string(48 + 1, '\0');
    pcx += '\x03';                       // planes
    PutEach(pcx, {(width + 1) & ~1u, 1}, 2, false);
    return pcx + std::string(128 - pcx.size() + 64, '\0');
}

std::string TgaBomb(unsigned width, unsigned height)
{
    std::string tga("\x00\x00\x02", 3);  // uncompressed true colour
    tga += std::string(9, '\0');
    PutEach(tga, {width, height}, 2, false);
    tga += std::string("\x18\x20", 2);
    return tga + std::string(64, '\x55');
}

// The header of an RGB PSD of 8 bits a channel with no colour mode data, image resources
// or layers, and the compression of its pixels (0 raw, 1 RLE).
static std::string PsdHeader(unsigned width, unsigned height, unsigned compression)
{
    std::string psd = "8BPS";
    Put(psd, 1, 2, true);
    psd += std::string(6, '\0');
    Put(psd, 3, 2, true);   // channels
    PutEach(psd, {height, width}, 4, true);
    PutEach(psd, {8, 3}, 2, true);  // depth, RGB
    psd += std::string(12, '\0');
    Put(psd, compression, 2, true);
    return psd;
}

std::string PsdBomb(unsigned width, unsigned height)
{
    return PsdHeader(width, height, 0) + std::string(64, '\x55');
}

std::string BmpBomb(unsigned width, unsigned height)
{
    std::string bmp = "BM";
    PutEach(bmp, {70, 0, 54, 40, width, height}, 4, false);
    PutEach(bmp, {1, 24}, 2, false);
    bmp += std::string(24, '\0');
    return bmp + std::string(16, '\x55');
}

std::string RunawayRlePsd()
{
    std::string psd = PsdHeader(4, 4, 1);
    for (int row = 0; row < 12; row++)
        Put(psd, 2, 2, true);
    for (int row = 0; row < 12; row++)
        psd += std::string("\x7F\x00", 2);
    while (psd.size() < 328)
        psd.push_back('\x7F');
    return psd;
}
