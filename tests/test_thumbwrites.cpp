// What the thumbnail job writes, and where: links that point out of the folder, settings
// that would write elsewhere, and a real thumbnail for every format the image library
// can write.
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "images.h"
#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>

static const char recordCaption[] = "Установка описаний файлов для сайта example.org";

static bool IsLink(const std::string &path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The folder of one case: work (the job's folder) and outside beside it, which holds a
// photo and a log that links in work point at.
static void MakeCaseFolder(const TestFolder &base)
{
    base.MakeDir("work");
    base.MakeDir("outside");
    ASSERT_TRUE(SaveTestImage(base.Path("work/photo.jpg"), FIF_JPEG, 800, 600));
    ASSERT_TRUE(SaveTestImage(base.Path("outside/photo.jpg"), FIF_JPEG, 640, 480));
    base.WriteFile("outside/old.sql", "SELECT 1;\n");
}

// Runs the job in a folder (its Windows path) with no description dialog: the boxes,
// files and rows are what these cases look at.
static void RunJobIn(const std::string &work, const std::string &mask, const std::string &suffix)
{
    TextCopy(workDir, sizeof workDir, work.c_str());
    TextCopy(thumbDirPath, sizeof thumbDirPath, (work + "\\thumbnails\\").c_str());
    TextCopy(findMask, sizeof findMask, mask.c_str());
    TextCopy(thumbSuffix, sizeof thumbSuffix, suffix.c_str());
    thumbSize = 150;
    recordDefaultsSet = 1;
    MakeThumbnails();
}

// The same in base's work folder.
static void RunInWork(const TestFolder &base, const std::string &mask, const std::string &suffix)
{
    RunJobIn(base.winPath + "\\work", mask, suffix);
}

class ThumbWrites : public testing::Test {
protected:
    void SetUp() override { StartProgram(); }
};

struct LinkCase {
    const char *label;
    std::function<void(const TestFolder &)> plant;
    std::string mask;
    std::string suffix;
    std::string box;        // the one box the job shows, empty for none
    bool thumbnailMade;     // work/thumbnails/photo_small.jpg, a real file at 150 x 113
};

static void Link(const TestFolder &base, const std::string &target, const std::string &name)
{
    ASSERT_EQ(0, symlink(base.Path(target).c_str(), base.Path(name).c_str())) << name;
}

// A link in the folder is replaced by the job's own file, never written through; a
// thumbnails folder that is a link is not used; settings that would lead out of the
// folder are refused before anything is written.
TEST_F(ThumbWrites, NothingOutsideTheFolderChanges)
{
    const std::string refusedMask = "Маска поиска не может содержать \\ / или :\n";
    const std::string refusedSuffix = "Суффикс имени миниатюр не может содержать \\ / : или ..\n";
    const LinkCase cases[] = {
        {"imagelog.sql is a link", [](const TestFolder &b) { Link(b, "outside/old.sql", "work/imagelog.sql"); },
         "*.jpg", "_small.jpg", "", true},
        {"the thumbnail is a link", [](const TestFolder &b) {
             b.MakeDir("work/thumbnails");
             Link(b, "outside/photo.jpg", "work/thumbnails/photo_small.jpg");
         }, "*.jpg", "_small.jpg", "", true},
        {"the thumbnail is a dangling link", [](const TestFolder &b) {
             b.MakeDir("work/thumbnails");
             Link(b, "outside/new.jpg", "work/thumbnails/photo_small.jpg");
         }, "*.jpg", "_small.jpg", "", true},
        {"thumbnails is a link", [](const TestFolder &b) { Link(b, "outside", "work/thumbnails"); },
         "*.jpg", "_small.jpg", "thumbnails - не папка (файл или ссылка), миниатюры не записаны:\n", false},
        {"suffix into the parent folders", [](const TestFolder &) {}, "*.jpg", "\\..\\..\\outside\\photo.jpg",
         refusedSuffix + "\\..\\..\\outside\\photo.jpg", false},
        {"suffix with a slash", [](const TestFolder &) {}, "*.jpg", "/../x.jpg", refusedSuffix + "/../x.jpg", false},
        {"suffix with a drive", [](const TestFolder &) {}, "*.jpg", "c:x.jpg", refusedSuffix + "c:x.jpg", false},
        {"mask of another folder", [](const TestFolder &) {}, "..\\outside\\*.jpg", "_small.jpg",
         refusedMask + "..\\outside\\*.jpg", false},
        {"mask with a slash", [](const TestFolder &) {}, "../outside/*.jpg", "_small.jpg",
         refusedMask + "../outside/*.jpg", false},
    };
    for (const LinkCase &c : cases) {
        SCOPED_TRACE(c.label);
        TestFolder base;
        MakeCaseFolder(base);
        c.plant(base);
        std::map<std::string, std::string> before = FolderSnapshot(base.Path("outside"));
        BoxWatch watch;
        RunInWork(base, c.mask, c.suffix);

        EXPECT_EQ(before, FolderSnapshot(base.Path("outside")));
        if (c.box.empty()) {
            EXPECT_TRUE(watch.seen.empty()) << Describe(watch.seen);
        } else {
            ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
            EXPECT_EQ(0u, watch.seen[0].text.find(c.box)) << Describe(watch.seen);
            EXPECT_EQ(NULL, watch.seen[0].owner);
        }
        std::string thumb = base.Path("work/thumbnails/photo_small.jpg");
        if (c.thumbnailMade) {
            EXPECT_FALSE(IsLink(thumb));
            EXPECT_EQ((PixelSize{150, 113}), ImageFileSize(thumb));
            EXPECT_FALSE(IsLink(base.Path("work/imagelog.sql")));
            EXPECT_NE(std::string::npos, base.ReadFile("work/imagelog.sql").find("('photo.jpg','photo.jpg'"));
        } else {
            EXPECT_EQ("", base.ReadFile("work/imagelog.sql"));
        }
        // no temporary file is left behind
        for (const std::string &name : base.List("work"))
            EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
        for (const std::string &name : base.List("work/thumbnails"))
            EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
    }
}

// Wine lists a Unix name holding backslashes as it stands. An entry ..\..\outside\photo.jpg
// of a/work would be read from outside/photo.jpg, and its thumbnail thumbnails\..\..\outside\...
// would land in a/outside, beside the working directory. It is not even read: the entry
// gets the load-failure box.
TEST_F(ThumbWrites, EntryNamesThatLeadOutOfTheFolderAreNotRead)
{
    TestFolder base;
    base.MakeDir("a");
    base.MakeDir("a/work");
    base.MakeDir("a/outside");
    base.MakeDir("outside");
    ASSERT_TRUE(SaveTestImage(base.Path("outside/photo.jpg"), FIF_JPEG, 320, 240));
    base.WriteFile("a/outside/photo_small.jpg", "somebody's file");
    base.WriteFile("a/work/..\\..\\outside\\photo.jpg", base.ReadFile("outside/photo.jpg"));
    std::map<std::string, std::string> before = FolderSnapshot(base.Path("a/outside"));
    BoxWatch watch;
    RunJobIn(base.winPath + "\\a\\work", "*.jpg", "_small.jpg");
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("dib = GenericLoader(WFD.cFileName, 0)", watch.seen[0].caption);
    EXPECT_EQ(before, FolderSnapshot(base.Path("a/outside")));
    EXPECT_EQ("", base.ReadFile("a/work/imagelog.sql"));
    EXPECT_TRUE(base.List("a/work/thumbnails").empty());
}

// A name the code page cannot hold is not best-fitted into its namesake's: beside
// Cafe.jpg, Café.jpg would list as Cafe.jpg and give the same photo two rows. It lists
// with a '?', is not read, and gets the load-failure box; Cafe.jpg gets its one row.
TEST_F(ThumbWrites, BestFittedNamesAreNotReadAsTheirNamesake)
{
    TestFolder work;
    const std::string accented = work.Path(u8"Café.jpg");  // outside the code page
    ASSERT_TRUE(SaveTestImage(accented, FIF_JPEG, 320, 240));
    ASSERT_TRUE(SaveTestImage(work.Path("Cafe.jpg"), FIF_JPEG, 200, 100));
    BoxWatch watch;
    RunJobIn(work.winPath, "*.jpg", "_small.jpg");
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("dib = GenericLoader(WFD.cFileName, 0)", watch.seen[0].caption);
    std::string log = work.ReadFile("imagelog.sql");
    EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
    EXPECT_NE(std::string::npos, log.find("('Cafe.jpg','Cafe.jpg','','200','100'")) << log;
    EXPECT_EQ(std::vector<std::string>{"Cafe_small.jpg"}, work.List("thumbnails"));
}

// Three sources that need different conversions: colour, colour with alpha, greyscale.
struct Source {
    const char *name;
    int width;
    int height;
    int bpp;
};
static const Source sources[] = {
    {"colour.jpg", 96, 72, 24},
    {"alpha.png", 72, 96, 32},
    {"grey.png", 60, 60, 8},
};

static bool PutSource(const TestFolder &folder, const Source &source)
{
    FIBITMAP *image = FreeImage_Allocate(source.width, source.height, source.bpp, 0, 0, 0);
    if (source.bpp == 8) {
        RGBQUAD *palette = FreeImage_GetPalette(image);
        for (int i = 0; i < 256; i++)
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = (BYTE)i;
    }
    for (int y = 0; y < source.height; y++) {
        BYTE *line = FreeImage_GetScanLine(image, y);
        for (int x = 0; x < source.width * source.bpp / 8; x++)
            line[x] = (BYTE)(x * 7 + y * 3);
    }
    FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(source.name);
    bool saved = FreeImage_Save(format, image, folder.Path(source.name).c_str(), 0) != FALSE;
    FreeImage_Unload(image);
    return saved;
}

// The pixel size of a thumbnail read back by the format its name stands for, and its bits
// per pixel; 0 x 0 when that format cannot read it.
static PixelSize LoadBack(const std::string &path, FREE_IMAGE_FORMAT format, unsigned *bpp)
{
    PixelSize size;
    FIBITMAP *image = FreeImage_Load(format, path.c_str(), 0);
    if (image == NULL)
        return size;
    size.width = (int)FreeImage_GetWidth(image);
    size.height = (int)FreeImage_GetHeight(image);
    *bpp = FreeImage_GetBPP(image);
    FreeImage_Unload(image);
    return size;
}

// Every format the library can write, with the suffix of its first extension: three real
// thumbnails that load back in that format at the size asked for (square for icons), or
// a refusal naming the suffix before anything is written.
TEST_F(ThumbWrites, EveryWritableFormatGivesRealThumbnailsOrIsRefused)
{
    // the bits per pixel a file of the extension can hold, where it is only one
    const std::map<FREE_IMAGE_FORMAT, unsigned> onlyDepth = {
        {FIF_PBM, 1}, {FIF_PBMRAW, 1}, {FIF_WBMP, 1}, {FIF_PGM, 8}, {FIF_PGMRAW, 8}, {FIF_GIF, 8},
        {FIF_PPM, 24}, {FIF_PPMRAW, 24},
    };
    int tested = 0;
    for (int i = 0; i < FreeImage_GetFIFCount(); i++) {
        FREE_IMAGE_FORMAT format = (FREE_IMAGE_FORMAT)i;
        if (!FreeImage_FIFSupportsWriting(format))
            continue;
        std::string extension = FreeImage_GetFIFExtensionList(format);
        extension = extension.substr(0, extension.find(','));
        std::string suffix = "_t." + extension;
        // where two formats share an extension, the name stands for the first of them
        FREE_IMAGE_FORMAT named = FreeImage_GetFIFFromFilename(suffix.c_str());
        SCOPED_TRACE(suffix);
        TestFolder folder;
        for (const Source &source : sources)
            ASSERT_TRUE(PutSource(folder, source)) << source.name;
        BoxWatch watch;
        TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
        TextCopy(findMask, sizeof findMask, "*.*g");
        TextCopy(thumbSuffix, sizeof thumbSuffix, suffix.c_str());
        thumbSize = 48;
        // the library's JPEG-XR writer fails or crashes on the job's thumbnails
        bool refused = format == FIF_JXR;
        watch.Then(Press(refused ? IDOK : IDC_REC_DEFAULT));
        MakeThumbnails();
        tested++;

        if (refused) {
            ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
            EXPECT_EQ("Миниатюры в этом формате не записываются:\n" + suffix, watch.seen[0].text);
            EXPECT_FALSE(folder.Exists("imagelog.sql"));
            continue;
        }
        ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
        EXPECT_EQ(recordCaption, watch.seen[0].caption);
        for (const Source &source : sources) {
            std::string name = std::string(source.name);
            name = name.substr(0, name.find('.')) + suffix;
            PixelSize expected = source.width >= source.height
                                     ? PixelSize{48, 48 * source.height / source.width}
                                     : PixelSize{48 * source.width / source.height, 48};
            if (named == FIF_ICO)
                expected = PixelSize{48, 48};
            unsigned bpp = 0;
            EXPECT_EQ(expected, LoadBack(folder.Path("thumbnails/" + name), named, &bpp)) << name;
            if (onlyDepth.count(named)) {
                EXPECT_EQ(onlyDepth.at(named), bpp) << name;
            }
            EXPECT_NE(std::string::npos, folder.ReadFile("imagelog.sql").find("('" + std::string(source.name) + "'"))
                << name;
        }
    }
    EXPECT_GE(tested, 15);
}
