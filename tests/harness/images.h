// Real image files for the scenarios, made with the same FreeImage the program uses.
#ifndef FOTOBATCH_IMAGES_H
#define FOTOBATCH_IMAGES_H

#include "gtest_win.h"
#include "app/imagelib.h"

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
// The pixel size of an image file, 0 x 0 when it does not load; and its format.
PixelSize ImageFileSize(const std::string &unixPath);
FREE_IMAGE_FORMAT ImageFileFormat(const std::string &unixPath);
std::ostream &operator<<(std::ostream &out, const PixelSize &size);

#endif
