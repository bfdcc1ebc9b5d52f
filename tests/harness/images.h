// Real image files for the scenarios, made with the same FreeImage the program uses.
#ifndef FOTOBATCH_IMAGES_H
#define FOTOBATCH_IMAGES_H

#include "gtest_win.h"
#include "base/imagelib.h"

#include <string>

// Saves a width x height picture (a colour ramp) at a Unix path in the given format.
bool SaveTestImage(const std::string &unixPath, FREE_IMAGE_FORMAT format, int width, int height);
// The encoded bytes of such a picture.
std::string TestImageBytes(FREE_IMAGE_FORMAT format, int width, int height);

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize &other) const { return width == other.width && height == other.height; }
};
// The pixel size of an image file, 0 x 0 when it does not load; and its format. Given a
// format, the file is read as that format (as its name says), and bpp gets its depth.
PixelSize ImageFileSize(const std::string &unixPath, FREE_IMAGE_FORMAT format = FIF_UNKNOWN,
                        unsigned *bpp = NULL);
FREE_IMAGE_FORMAT ImageFileFormat(const std::string &unixPath);
std::ostream &operator<<(std::ostream &out, const PixelSize &size);

// A JPEG of the picture whose first segment is an Exif block with two entries in its first
// IFD: Make, then Orientation with the given TIFF type, count and value (SHORT, 1 and 1 to
// 8 for a well-formed one), in Motorola or Intel byte order.
std::string OrientedJpeg(FIBITMAP *picture, unsigned type, unsigned count, unsigned value, bool bigEndian);
// The whole APP1 segment of a JPEG (marker, length, payload), empty when it has none; and
// the JPEG without it.
std::string JpegApp1(const std::string &jpeg);
std::string WithoutApp1(const std::string &jpeg);

#endif
