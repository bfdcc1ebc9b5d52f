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

PixelSize ImageFileSize(const std::string &unixPath)
{
    PixelSize size;
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(unixPath.c_str(), 0);
    if (format == FIF_UNKNOWN)
        return size;
    FIBITMAP *image = FreeImage_Load(format, unixPath.c_str(), 0);
    if (image == NULL)
        return size;
    size.width = (int)FreeImage_GetWidth(image);
    size.height = (int)FreeImage_GetHeight(image);
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
