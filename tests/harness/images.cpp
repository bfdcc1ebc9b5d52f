#include "images.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <ostream>

bool SaveTestImage(const std::string &unixPath, FREE_IMAGE_FORMAT format, int width, int height)
{
    FIBITMAP *image = FreeImage_Allocate(width, height, 24, 0, 0, 0);
    if (image == NULL)
        return false;
    for (int y = 0; y < height; y++) {
        BYTE *line = FreeImage_GetScanLine(image, y);
        for (int x = 0; x < width; x++) {
            line[3 * x + 0] = (BYTE)(x * 255 / width);
            line[3 * x + 1] = (BYTE)(y * 255 / height);
            line[3 * x + 2] = (BYTE)((x + y) & 255);
        }
    }
    bool saved = FreeImage_Save(format, image, unixPath.c_str(), 0) != FALSE;
    FreeImage_Unload(image);
    return saved;
}

std::string TestImageBytes(FREE_IMAGE_FORMAT format, int width, int height)
{
    char path[] = "/tmp/fotobatch-image-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return "";
    close(fd);
    std::string bytes;
    if (SaveTestImage(path, format, width, height)) {
        fd = open(path, O_RDONLY);
        char chunk[65536];
        ssize_t got;
        while ((got = read(fd, chunk, sizeof chunk)) > 0)
            bytes.append(chunk, got);
        close(fd);
    }
    unlink(path);
    return bytes;
}

PixelSize ImageFileSize(const std::string &unixPath, FREE_IMAGE_FORMAT format, unsigned *bpp)
{
    PixelSize size;
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFileType(unixPath.c_str(), 0);
    if (format == FIF_UNKNOWN)
        return size;
    FIBITMAP *image = FreeImage_Load(format, unixPath.c_str(), 0);
    if (image == NULL)
        return size;
    size.width = (int)FreeImage_GetWidth(image);
    size.height = (int)FreeImage_GetHeight(image);
    if (bpp != NULL)
        *bpp = FreeImage_GetBPP(image);
    FreeImage_Unload(image);
    return size;
}

FREE_IMAGE_FORMAT ImageFileFormat(const std::string &unixPath)
{
    return FreeImage_GetFileType(unixPath.c_str(), 0);
}

std::ostream &operator<<(std::ostream &out, const PixelSize &size)
{
    return out << size.width << "x" << size.height;
}

// Appends a number of `bytes` bytes in the chosen byte order.
static void PutNumber(std::string &out, unsigned value, int bytes, bool bigEndian)
{
    for (int i = 0; i < bytes; i++)
        out.push_back((char)((value >> (8 * (bigEndian ? bytes - 1 - i : i))) & 0xFF));
}

std::string OrientedJpeg(FIBITMAP *picture, unsigned type, unsigned count, unsigned value, bool bigEndian)
{
    FIMEMORY *memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_JPEG, picture, memory, 95);
    BYTE *data = NULL;
    DWORD length = 0;
    FreeImage_AcquireMemory(memory, &data, &length);
    std::string jpeg((const char *)data, length);
    FreeImage_CloseMemory(memory);

    std::string tiff = bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4);
    PutNumber(tiff, 8, 4, bigEndian);
    PutNumber(tiff, 2, 2, bigEndian);
    PutNumber(tiff, 0x010F, 2, bigEndian);  // Make, "Cam" in place
    PutNumber(tiff, 2, 2, bigEndian);
    PutNumber(tiff, 4, 4, bigEndian);
    tiff += std::string("Cam\0", 4);
    PutNumber(tiff, 0x0112, 2, bigEndian);  // Orientation, its value in place
    PutNumber(tiff, type, 2, bigEndian);
    PutNumber(tiff, count, 4, bigEndian);
    if (type == 3) {
        PutNumber(tiff, value, 2, bigEndian);
        PutNumber(tiff, count > 1 ? value : 0, 2, bigEndian);
    } else {
        PutNumber(tiff, value, 4, bigEndian);
    }
    PutNumber(tiff, 0, 4, bigEndian);  // no next IFD
    std::string payload = std::string("Exif\0\0", 6) + tiff;
    std::string segment("\xFF\xE1", 2);
    PutNumber(segment, (unsigned)payload.size() + 2, 2, true);
    return jpeg.substr(0, 2) + segment + payload + jpeg.substr(2);
}

// Where the first APP1 segment starts and how long it is; npos when there is none before
// the scan data.
static size_t FindApp1(const std::string &jpeg, size_t *length)
{
    size_t at = 2;
    while (at + 4 <= jpeg.size() && (unsigned char)jpeg[at] == 0xFF) {
        unsigned char marker = (unsigned char)jpeg[at + 1];
        size_t size = 2 + ((unsigned char)jpeg[at + 2] << 8 | (unsigned char)jpeg[at + 3]);
        if (marker == 0xDA)
            break;
        if (marker == 0xE1) {
            *length = size;
            return at;
        }
        at += size;
    }
    return std::string::npos;
}

std::string JpegApp1(const std::string &jpeg)
{
    size_t length = 0;
    size_t at = FindApp1(jpeg, &length);
    return at == std::string::npos ? std::string() : jpeg.substr(at, length);
}

std::string WithoutApp1(const std::string &jpeg)
{
    size_t length = 0;
    size_t at = FindApp1(jpeg, &length);
    return at == std::string::npos ? jpeg : jpeg.substr(0, at) + jpeg.substr(at + length);
}
