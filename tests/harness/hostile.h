// Hostile image files, made byte by byte: headers that declare far more pixels than the
// few bytes behind them, JPEGs whose frame header hides behind other segments, and the
// pieces to build more of them.
#ifndef FOTOBATCH_HOSTILE_H
#define FOTOBATCH_HOSTILE_H

#include "gtest_win.h"
#include "base/imagelib.h"

#include <string>

// Appends value as count bytes in the given order.
void Put(std::string &bytes, unsigned value, int count, bool bigEndian);
// A photo-like picture (smooth ramps and waves) of the given bits per pixel.
FIBITMAP *Picture(int width, int height, int bpp = 24);
// What the library writes for the image in that format with those flags.
std::string Encode(FIBITMAP *picture, FREE_IMAGE_FORMAT format, int flags);
std::string Jpeg(int width, int height);
std::string ProgressiveJpeg(int width, int height);
// A JPEG segment: the marker, its length, the payload.
std::string JpegSegment(unsigned char marker, const std::string &payload);
// The JPEG with the given bytes put right after its SOI marker.
std::string AfterSoi(const std::string &jpeg, const std::string &inserted);
// The JPEG with its first frame header (SOF0 or SOF2) changed to declare this size.
std::string WithFrameSize(const std::string &jpeg, unsigned width, unsigned height);

// Headers of a few hundred bytes that declare width x height pixels.
std::string SgiBomb(unsigned width, unsigned height);
std::string GifBomb(unsigned screenWidth, unsigned screenHeight, unsigned frameWidth, unsigned frameHeight);
std::string WbmpBomb(unsigned long long width, unsigned long long height);
std::string DdsBomb(unsigned width, unsigned height);
std::string IcoBomb(unsigned width, unsigned height, bool png);
std::string PcxBomb(unsigned width, unsigned height);
std::string TgaBomb(unsigned width, unsigned height);
std::string PsdBomb(unsigned width, unsigned height);
std::string BmpBomb(unsigned width, unsigned height);

// A 4x4 RGB PSD whose RLE rows each hold a literal run of 128 bytes in a 2-byte row:
// the library writes past its buffers and the process dies.
std::string RunawayRlePsd();

#endif
