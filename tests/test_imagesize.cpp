// Declared sizes read from headers: every format the library writes gives the size the
// library decodes; JPEG frame headers are found behind whatever segments come first;
// headers that declare gigantic pictures are refused before decoding, as are special files.
#include <sys/stat.h>
#include <vector>

#include "gtest_win.h"
#include "fixture.h"
#include "hostile.h"
#include "images.h"

#include "base/textbuf.h"
#include "decode/decoder.h"
#include "decode/imagesize.h"
#include "decode/decodeimage.h"
#include "thumbs/thumbs.h"

struct Declared {
    int told = IMAGE_SIZE_UNKNOWN;
    unsigned width = 0, height = 0;
};

static Declared FromBytes(FREE_IMAGE_FORMAT format, const std::string &bytes)
{
    ImageBytes image;
    ImageBytesFromMemory(&image, (const BYTE *)bytes.data(), bytes.size());
    DWORD width = 0, height = 0;
    Declared declared;
    declared.told = ImageDeclaredSize(format, &image, &width, &height);
    declared.width = width;
    declared.height = height;
    return declared;
}

// The size the library's full decode of the bytes gives, 0 x 0 when it fails.
static Declared Decoded(FREE_IMAGE_FORMAT format, const std::string &bytes)
{
    Declared decoded;
    FIMEMORY *memory = FreeImage_OpenMemory((BYTE *)bytes.data(), (DWORD)bytes.size());
    FIBITMAP *image = FreeImage_LoadFromMemory(format, memory, 0);
    FreeImage_CloseMemory(memory);
    if (image != NULL) {
        decoded.told = IMAGE_SIZE_KNOWN;
        decoded.width = FreeImage_GetWidth(image);
        decoded.height = FreeImage_GetHeight(image);
        FreeImage_Unload(image);
    }
    return decoded;
}

// A picture of an odd size in the pixel type the format stores.
static FIBITMAP *PictureFor(FREE_IMAGE_FORMAT format, int width, int height)
{
    FIBITMAP *picture = Picture(width, height);
    FIBITMAP *converted = NULL;
    switch (format) {
    case FIF_WBMP: case FIF_PBM: case FIF_PBMRAW: converted = FreeImage_Threshold(picture, 128); break;
    case FIF_GIF: case FIF_XPM: converted = FreeImage_ColorQuantize(picture, FIQ_WUQUANT); break;
    case FIF_PGM: case FIF_PGMRAW: converted = FreeImage_ConvertToGreyscale(picture); break;
    case FIF_HDR: case FIF_EXR: case FIF_PFM: converted = FreeImage_ConvertToRGBF(picture); break;
    case FIF_ICO: converted = FreeImage_ConvertTo32Bits(picture); break;
    default: return picture;
    }
    FreeImage_Unload(picture);
    return converted;
}

static std::string FormatName(FREE_IMAGE_FORMAT format)
{
    return FreeImage_GetFormatFromFIF(format);
}

// The header gives the size the library's full decode of the bytes gives.
static void ExpectDeclaresDecoded(FREE_IMAGE_FORMAT format, const std::string &bytes, const std::string &what)
{
    Declared declared = FromBytes(format, bytes), decoded = Decoded(format, bytes);
    ASSERT_EQ(IMAGE_SIZE_KNOWN, decoded.told) << what;
    EXPECT_EQ(IMAGE_SIZE_KNOWN, declared.told) << what;
    EXPECT_EQ(decoded.width, declared.width) << what;
    EXPECT_EQ(decoded.height, declared.height) << what;
}

// Every format the library can write, written at 67 x 45 (icons at 32 x 32; JPEG 2000 wants 32 pixels a side): the header gives the size the
// decode gives, or says that the library's header-only load reads it.
TEST(ImageDeclaredSize, EveryWritableFormatDeclaresWhatTheLibraryDecodes)
{
    int checked = 0;
    for (int i = 0; i < FreeImage_GetFIFCount(); i++) {
        FREE_IMAGE_FORMAT format = (FREE_IMAGE_FORMAT)i;
        if (!FreeImage_FIFSupportsWriting(format) || !FreeImage_FIFSupportsReading(format))
            continue;
        // the library writes icons only square
        FIBITMAP *picture = format == FIF_ICO ? PictureFor(format, 32, 32) : PictureFor(format, 67, 45);
        std::string bytes = Encode(picture, format, 0);
        FreeImage_Unload(picture);
        if (bytes.empty()) {
            ADD_FAILURE() << FormatName(format) << " wrote nothing";
            continue;
        }
        if (format == FIF_TIFF || format == FIF_EXR || format == FIF_JXR) {
            EXPECT_EQ(IMAGE_SIZE_LIBRARY, FromBytes(format, bytes).told) << FormatName(format);
            continue;
        }
        ExpectDeclaresDecoded(format, bytes, FormatName(format));
        checked++;
    }
    EXPECT_GE(checked, 15);
}

// Formats the library reads but does not write, made small and whole by the same makers
// as the bombs below: the header gives the size the decode gives.
TEST(ImageDeclaredSize, ReadOnlyFormatsDeclareWhatTheLibraryDecodes)
{
    const std::string pixels(4096, '\0');
    const struct { FREE_IMAGE_FORMAT format; std::string bytes; } cases[] = {
        {FIF_SGI, SgiBomb(13, 7) + pixels},
        {FIF_DDS, DdsBomb(13, 7) + pixels},
        {FIF_PCX, PcxBomb(13, 7) + pixels},
        {FIF_TARGA, TgaBomb(13, 7) + pixels},
        {FIF_PSD, PsdBomb(13, 7) + pixels},
        {FIF_WBMP, WbmpBomb(13, 7) + pixels},
        {FIF_GIF, GifBomb(13, 7, 13, 7)},
        {FIF_ICO, IcoBomb(13, 7, false) + pixels},
        {FIF_BMP, BmpBomb(13, 7) + pixels},
        {FIF_XBM, "#define dot_width 13\n#define dot_height 7\nstatic char dot_bits[] = {\n"
                  "0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00};\n"},
    };
    for (const auto &c : cases)
        ExpectDeclaresDecoded(c.format, c.bytes, FormatName(c.format));
}

// JPEGs as the library writes them and as they come from elsewhere: the frame header is
// found behind large APPn segments, fill bytes, DRI, a stray restart marker and the bytes
// libjpeg skips; a file that ends, scans or ends its image before any frame header
// declares nothing (0 x 0 below).
TEST(ImageDeclaredSize, JpegFrameHeaderIsFoundWhereLibjpegFindsIt)
{
    std::string app1 = JpegSegment(0xE1, "Exif" + std::string(65527, 'E'));
    std::string app2 = JpegSegment(0xE2, "ICC_PROFILE" + std::string(60000, 'I'));
    std::string withApp = AfterSoi(ProgressiveJpeg(200, 100), JpegSegment(0xE1, std::string(40000, 'E')));
    const struct { const char *what; std::string bytes; unsigned width, height; } cases[] = {
        {"1x1", Jpeg(1, 1), 1, 1},
        {"7x2000", Jpeg(7, 2000), 7, 2000},
        {"4001x2999", Jpeg(4001, 2999), 4001, 2999},
        {"progressive", ProgressiveJpeg(333, 222), 333, 222},
        {"progressive 2560x1707", ProgressiveJpeg(2560, 1707), 2560, 1707},
        {"APPn before SOF", AfterSoi(Jpeg(300, 200), app1 + app2 + app2 + app2 + JpegSegment(0xFE, "made here")), 300, 200},
        {"fill bytes", AfterSoi(Jpeg(64, 48), std::string("\xFF\xFF\xFF", 3)), 64, 48},
        {"restart interval and marker",
         AfterSoi(ProgressiveJpeg(120, 90), JpegSegment(0xDD, std::string("\x00\x04", 2)) + "\xFF\xD0"), 120, 90},
        {"stray bytes before a marker", AfterSoi(Jpeg(50, 40), "\x12\x34"), 50, 40},
        {"stuffed zero before a marker", AfterSoi(Jpeg(50, 40), std::string("\xFF\x00", 2)), 50, 40},
        {"truncated inside APP1", withApp.substr(0, 30000), 0, 0},
        {"truncated inside the frame header", withApp.substr(0, withApp.find("\xFF\xC2", 40000) + 6), 0, 0},
        {"SOI alone", std::string("\xFF\xD8", 2), 0, 0},
        {"empty", "", 0, 0},
        {"scan before frame", std::string("\xFF\xD8\xFF\xDA\x00\x02\xFF\xC0\x00\x0B\x08\x10\x00\x10\x00\x01", 16), 0, 0},
        {"end before frame", std::string("\xFF\xD8\xFF\xD9\xFF\xC0\x00\x0B\x08\x10\x00\x10\x00\x01", 14), 0, 0},
        {"no SOI", Jpeg(50, 40).substr(2), 0, 0},
        {"segment length below 2", std::string("\xFF\xD8\xFF\xE0\x00\x01\xFF\xC0\x00\x0B\x08\x10\x00\x10\x00\x01", 16), 0, 0},
    };
    for (const auto &c : cases) {
        Declared declared = FromBytes(FIF_JPEG, c.bytes);
        EXPECT_EQ(c.width != 0 ? IMAGE_SIZE_KNOWN : IMAGE_SIZE_UNKNOWN, declared.told) << c.what;
        EXPECT_EQ(c.width, declared.width) << c.what;
        EXPECT_EQ(c.height, declared.height) << c.what;
    }
}

// A few hundred bytes that declare a gigantic picture, in one format each.
struct Bomb {
    const char *name;
    std::string bytes;
    FREE_IMAGE_FORMAT format;
    unsigned width, height;
};

static std::vector<Bomb> Bombs()
{
    return {
        {"sgi.sgi", SgiBomb(30000, 30000), FIF_SGI, 30000, 30000},
        {"screen.gif", GifBomb(65535, 65535, 1, 1), FIF_GIF, 65535, 65535},
        {"frame.gif", GifBomb(16, 16, 40000, 40000), FIF_GIF, 40000, 40000},
        {"tenGiga.wbmp", WbmpBomb(100000, 100000), FIF_WBMP, 100000, 100000},
        {"dds.dds", DdsBomb(16384, 16385), FIF_DDS, 16384, 16385},
        {"bmpInside.ico", IcoBomb(20000, 30000, false), FIF_ICO, 20000, 30000},
        {"pngInside.ico", IcoBomb(30000, 30000, true), FIF_ICO, 30000, 30000},
        {"pcx.pcx", PcxBomb(65535, 65535), FIF_PCX, 65535, 65535},
        {"tga.tga", TgaBomb(65535, 65535), FIF_TARGA, 65535, 65535},
        {"psd.psd", PsdBomb(30000, 30000), FIF_PSD, 30000, 30000},
        {"bmp.bmp", BmpBomb(60000, 60000), FIF_BMP, 60000, 60000},
        {"progressive.jpg", WithFrameSize(ProgressiveJpeg(64, 64), 16001, 16000), FIF_JPEG, 16001, 16000},
    };
}

// The check before decoding, on the one open of a file: the format, or FIF_UNKNOWN
// when refused; a file that is not opened at all (a special file) counts as refused.
static FREE_IMAGE_FORMAT Checked(const std::string &name, unsigned long long maxPixels, int *opened = NULL)
{
    static SourceFile source;
    int result = SourceOpen(&source, name.c_str());
    if (opened != NULL)
        *opened = result;
    FREE_IMAGE_FORMAT format = result == SOURCE_OPENED ? CheckedImageFormat(&source, maxPixels) : FIF_UNKNOWN;
    SourceClose(&source);
    return format;
}

// The check on files: each bomb declares its whole size, is recognised in its own format
// and refused; a real image of each format passes at exactly its size and is refused one
// pixel below it, the formats read by the library's header-only load included; a named
// pipe is refused without being opened (opening it would wait for a writer for ever).
TEST(CheckedImageFormat, RefusesWhatDeclaresTooMuchAndSpecialFiles)
{
    TestFolder folder;
    ASSERT_TRUE(SetCurrentDirectoryA(folder.winPath.c_str()));
    for (const Bomb &bomb : Bombs()) {
        Declared declared = FromBytes(bomb.format, bomb.bytes);
        EXPECT_EQ(IMAGE_SIZE_KNOWN, declared.told) << bomb.name;
        EXPECT_EQ(bomb.width, declared.width) << bomb.name;
        EXPECT_EQ(bomb.height, declared.height) << bomb.name;
        EXPECT_GT((unsigned long long)bomb.width * bomb.height, DECODER_MAX_PIXELS) << bomb.name;
        folder.WriteFile(bomb.name, bomb.bytes);
        // recognised by its content, or where it has no signature (WBMP) by its name
        FREE_IMAGE_FORMAT format = ImageFileFormat(folder.Path(bomb.name));
        EXPECT_EQ(bomb.format, format != FIF_UNKNOWN ? format : FreeImage_GetFIFFromFilename(bomb.name))
            << bomb.name;
        EXPECT_EQ(FIF_UNKNOWN, Checked(bomb.name, DECODER_MAX_PIXELS)) << bomb.name;
    }
    for (FREE_IMAGE_FORMAT format : {FIF_JPEG, FIF_PNG, FIF_TIFF, FIF_EXR, FIF_GIF, FIF_TARGA}) {
        std::string name = "real." + std::string(FreeImage_GetFIFExtensionList(format)).substr(0, 3);
        FIBITMAP *picture = PictureFor(format, 67, 45);
        folder.WriteFile(name, Encode(picture, format, 0));
        FreeImage_Unload(picture);
        EXPECT_EQ(format, Checked(name, 67 * 45)) << name;
        EXPECT_EQ(FIF_UNKNOWN, Checked(name, 67 * 45 - 1)) << name;
    }
    // read from the file a window at a time: the frame header lies some 250 KB in
    std::string app = JpegSegment(0xE2, std::string(65000, 'I'));
    folder.WriteFile("apps.jpg", AfterSoi(Jpeg(300, 200), app + app + app + app));
    EXPECT_EQ(FIF_JPEG, Checked("apps.jpg", 300 * 200));
    EXPECT_EQ(FIF_UNKNOWN, Checked("apps.jpg", 300 * 200 - 1));
    ASSERT_EQ(0, mkfifo(folder.Path("pipe.jpg").c_str(), 0644));
    int opened = 0;
    EXPECT_EQ(FIF_UNKNOWN, Checked("pipe.jpg", DECODER_MAX_PIXELS, &opened));
    EXPECT_EQ(SOURCE_REFUSED, opened);
    Checked("real.jpg", DECODER_MAX_PIXELS, &opened);
    EXPECT_EQ(SOURCE_OPENED, opened);
    // a WBMP's numbers run past 32 bits as the library's do: the low 32 bits stay
    EXPECT_EQ(5u, FromBytes(FIF_WBMP, WbmpBomb(0x100000005ull, 3)).width);
}
