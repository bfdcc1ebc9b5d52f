// Photos stored sideways with an Exif orientation: the thumbnail job turns every one of
// the eight upright, in the workers (scaled and full decodes) and in its own process,
// gives the rows the size as seen, and leaves everything else exactly as it was.
#include <map>

#include "gtest_win.h"
#include "boxwatch.h"
#include "fixture.h"
#include "hostile.h"
#include "images.h"
#include "jobs.h"

#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"
#include "decode/decoder.h"

// A picture in four flat quarters, stored top left red, top right green, bottom left blue,
// bottom right yellow. FreeImage's rows run bottom-up.
static FIBITMAP *Quarters(int width, int height)
{
    // red, green, blue of the top left, top right, bottom left, bottom right quarter
    const BYTE colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    FIBITMAP *picture = FreeImage_Allocate(width, height, 24);
    for (int y = 0; y < height; y++) {
        BYTE *line = FreeImage_GetScanLine(picture, y);
        for (int x = 0; x < width; x++) {
            const BYTE *colour = colours[(y < height / 2 ? 2 : 0) + (x < width / 2 ? 0 : 1)];
            line[3 * x + FI_RGBA_RED] = colour[0];
            line[3 * x + FI_RGBA_GREEN] = colour[1];
            line[3 * x + FI_RGBA_BLUE] = colour[2];
        }
    }
    return picture;
}

// The letter of the flat colour around a point given from the top left, '?' if none.
static char QuarterAt(FIBITMAP *image, double fx, double fy)
{
    unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
    RGBQUAD pixel;
    FreeImage_GetPixelColor(image, (unsigned)(fx * width), height - 1 - (unsigned)(fy * height), &pixel);
    bool r = pixel.rgbRed > 160, g = pixel.rgbGreen > 160, b = pixel.rgbBlue > 160;
    bool r0 = pixel.rgbRed < 90, g0 = pixel.rgbGreen < 90, b0 = pixel.rgbBlue < 90;
    if (r && g0 && b0) return 'R';
    if (r0 && g && b0) return 'G';
    if (r0 && g0 && b) return 'B';
    if (r && g && b0) return 'Y';
    return '?';
}

// The colours seen at the top left, top right, bottom left and bottom right.
static std::string Seen(FIBITMAP *image)
{
    return {QuarterAt(image, .25, .25), QuarterAt(image, .75, .25), QuarterAt(image, .25, .75),
            QuarterAt(image, .75, .75)};
}

// The Exif orientation a viewer reads from an image file, 0 when it has none.
static int FileOrientation(const std::string &unixPath)
{
    FIBITMAP *image = FreeImage_Load(FIF_JPEG, unixPath.c_str(), FIF_LOAD_NOPIXELS);
    FITAG *tag = NULL;
    int value = 0;
    if (image != NULL && FreeImage_GetMetadata(FIMD_EXIF_MAIN, image, "Orientation", &tag) && tag != NULL)
        value = *(const WORD *)FreeImage_GetTagValue(tag);
    if (image != NULL)
        FreeImage_Unload(image);
    return value;
}

TEST(Orientation, EveryValueTurnedUprightOnEveryPathAndBadTagsChangeNothing)
{
    // seen: the colours at the four corners of the photo as a viewer shows it
    struct Case { const char *name; unsigned type, count, value; const char *seen; bool turned; };
    const Case cases[] = {
        {"o1", 3, 1, 1, "RGBY", false}, {"o2", 3, 1, 2, "GRYB", true},
        {"o3", 3, 1, 3, "YBGR", true},  {"o4", 3, 1, 4, "BYRG", true},
        {"o5", 3, 1, 5, "RBGY", true},  {"o6", 3, 1, 6, "BRYG", true},
        {"o7", 3, 1, 7, "YGBR", true},  {"o8", 3, 1, 8, "GYRB", true},
        {"zero", 3, 1, 0, "RGBY", false}, {"nine", 3, 1, 9, "RGBY", false},
        {"long", 4, 1, 6, "RGBY", false}, {"pair", 3, 2, 6, "RGBY", false},
    };
    // for a 150-pixel thumbnail a worker decodes 200 x 100 whole and 1200 x 600 scaled on load
    const int sizes[][2] = {{200, 100}, {1200, 600}};
    StartProgram();
    TestFolder folder;
    std::map<std::string, std::string> sources;
    for (const auto &size : sizes) {
        FIBITMAP *picture = Quarters(size[0], size[1]);
        std::string tail = "_" + std::to_string(size[0]);
        for (const Case &c : cases)
            sources[c.name + tail] = OrientedJpeg(picture, c.type, c.count, c.value, c.value % 2 == 0);
        sources["none" + tail] = Encode(picture, FIF_JPEG, 95);
        FreeImage_Unload(picture);
    }
    for (const auto &source : sources)
        folder.WriteFile(source.first + ".jpg", source.second);

    // with "Default" at the first description dialog; without workers (they end at once)
    // the job decodes in its own process
    for (bool noWorker : {false, true}) {
        StartProgram();
        UseStandIn(noWorker ? "exit" : NULL);
        BoxWatch watch;
        watch.Then(Press(IDC_REC_DEFAULT));
        RunThumbnailJob(folder.winPath);
        EXPECT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
        std::string log = folder.ReadFile("imagelog.sql");
        for (const auto &size : sizes) {
            std::string tail = "_" + std::to_string(size[0]);
            std::string untagged = folder.ReadFile("thumbnails/none" + tail + "_small.jpg");
            for (const Case &c : cases) {
                std::string name = c.name + tail;
                std::string what = name + (noWorker ? " in the job" : " in a worker");
                std::string thumbPath = folder.Path("thumbnails/" + name + "_small.jpg");
                bool quarter = c.turned && c.value >= 5;
                int width = quarter ? size[1] : size[0], height = quarter ? size[0] : size[1];
                std::string row = "('" + name + ".jpg','" + name + ".jpg','','" + std::to_string(width)
                                  + "','" + std::to_string(height) + "',";
                EXPECT_NE(std::string::npos, log.find(row)) << what << "\n" << log;
                FIBITMAP *made = FreeImage_Load(FIF_JPEG, thumbPath.c_str(), 0);
                ASSERT_NE(nullptr, made) << what;
                EXPECT_EQ((PixelSize{quarter ? 75 : 150, quarter ? 150 : 75}),
                          (PixelSize{(int)FreeImage_GetWidth(made), (int)FreeImage_GetHeight(made)})) << what;
                EXPECT_EQ(c.seen, Seen(made)) << what;
                FreeImage_Unload(made);
                std::string thumbnail = folder.ReadFile("thumbnails/" + name + "_small.jpg");
                if (c.turned) {
                    EXPECT_EQ(1, FileOrientation(thumbPath)) << what;
                } else {
                    // the Exif block as the source had it, and otherwise the very thumbnail
                    // of the same picture without one
                    EXPECT_EQ(JpegApp1(sources[name]), JpegApp1(thumbnail)) << what;
                    EXPECT_TRUE(WithoutApp1(thumbnail) == untagged) << what << ": the pixels were changed";
                }
            }
        }
    }
    UseStandIn(NULL);
}
