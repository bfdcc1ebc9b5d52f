// What the thumbnail job writes, and where: links that point out of the folder, settings
// that would write elsewhere, and a real thumbnail for every format the image library
// can write.
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "hostile.h"
#include "images.h"
#include "jobs.h"
#include "jobtexts.h"
#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"
#include "thumbs/thumbformat.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>

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
    recordDefaultsSet = 1;
    RunThumbnailJob(work, mask, suffix);
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
// folder are refused by the job itself before anything is written (which of them are
// refused, the job dialog's test tells: both ask the same check).
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
        {"mask of another folder", [](const TestFolder &) {}, "..\\outside\\*.jpg", "_small.jpg",
         refusedMask + "..\\outside\\*.jpg", false},
    };
    for (const LinkCase &c : cases) {
        SCOPED_TRACE(c.label);
        TestFolder base;
        MakeCaseFolder(base);
        c.plant(base);
        std::map<std::string, std::string> before = FolderSnapshot(base.Path("outside"));
        BoxWatch watch;
        RunJobIn(base.winPath + "\\work", c.mask, c.suffix);

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
    EXPECT_EQ(loadCaption, watch.seen[0].caption);
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
    EXPECT_EQ(loadCaption, watch.seen[0].caption);
    std::string log = work.ReadFile("imagelog.sql");
    EXPECT_EQ(1, RowCount(log)) << log;
    EXPECT_NE(std::string::npos, log.find("('Cafe.jpg','Cafe.jpg','','200','100'")) << log;
    EXPECT_EQ(std::vector<std::string>{"Cafe_small.jpg"}, work.List("thumbnails"));
}

// Thumbnails that the output format cannot store are converted so that the save works;
// those it can store are left alone.
TEST(ThumbnailForFormat, ConvertsOnlyWhatTheFormatRefuses)
{
    struct Case { FREE_IMAGE_TYPE type; int bpp; FREE_IMAGE_FORMAT format; FREE_IMAGE_TYPE wantType; unsigned wantBpp; };
    const Case cases[] = {
        {FIT_BITMAP, 32, FIF_JPEG, FIT_BITMAP, 24},
        {FIT_RGBA16, 64, FIF_JPEG, FIT_BITMAP, 24},
        {FIT_RGB16, 48, FIF_JPEG, FIT_BITMAP, 24},
        {FIT_UINT16, 16, FIF_JPEG, FIT_BITMAP, 8},
        {FIT_BITMAP, 24, FIF_JPEG, FIT_BITMAP, 24},
        {FIT_BITMAP, 8, FIF_JPEG, FIT_BITMAP, 8},
        {FIT_BITMAP, 32, FIF_PNG, FIT_BITMAP, 32},
        {FIT_RGBA16, 64, FIF_PNG, FIT_RGBA16, 64},
        {FIT_BITMAP, 32, FIF_BMP, FIT_BITMAP, 32},
        {FIT_RGBA16, 64, FIF_BMP, FIT_BITMAP, 32},
    };
    StartProgram();
    TestFolder folder;
    for (const Case &c : cases) {
        FIBITMAP *image = FreeImage_AllocateT(c.type, 40, 30, c.bpp);
        FIBITMAP *storable = ThumbnailForFormat(image, c.format);
        std::string what = std::to_string(c.type) + "/" + std::to_string(c.bpp) + " as " + std::to_string(c.format);
        EXPECT_EQ(c.wantType, FreeImage_GetImageType(storable)) << what;
        EXPECT_EQ(c.wantBpp, FreeImage_GetBPP(storable)) << what;
        BoxWatch watch;
        EXPECT_TRUE(FreeImage_Save(c.format, storable, folder.Path("out").c_str(), 0)) << what;
        EXPECT_TRUE(watch.seen.empty()) << what << ": " << Describe(watch.seen);
        FreeImage_Unload(storable);
    }
    EXPECT_EQ(nullptr, ThumbnailForFormat(NULL, FIF_JPEG));
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
        // the library's JPEG-XR writer fails or crashes on the job's thumbnails
        bool refused = format == FIF_JXR;
        watch.Then(Press(refused ? IDOK : IDC_REC_DEFAULT));
        RunThumbnailJob(folder.winPath, "*.*g", suffix, 48);
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
            EXPECT_EQ(expected, ImageFileSize(folder.Path("thumbnails/" + name), named, &bpp)) << name;
            if (onlyDepth.count(named)) {
                EXPECT_EQ(onlyDepth.at(named), bpp) << name;
            }
            EXPECT_NE(std::string::npos, folder.ReadFile("imagelog.sql").find("('" + std::string(source.name) + "'"))
                << name;
        }
    }
    EXPECT_GE(tested, 15);
}

// IMG_0001.JPG and img_0001.jpg would share one thumbnail on every disk that ignores
// letter case: the second is refused with a box naming both, and the first keeps its
// own thumbnail and row.
TEST_F(ThumbWrites, CaseTwinsNeverShareAThumbnail)
{
    TestFolder work;
    ASSERT_TRUE(SaveTestImage(work.Path("IMG_0001.JPG"), FIF_JPEG, 640, 480));
    ASSERT_TRUE(SaveTestImage(work.Path("img_0001.jpg"), FIF_JPEG, 32, 24));
    std::vector<std::string> order = work.SearchOrder("*.jpg");
    ASSERT_EQ(2u, order.size());
    auto thumbOf = [](const std::string &name) { return "thumbnails\\" + name.substr(0, 8) + "_small.jpg"; };
    BoxWatch watch;
    RunJobIn(work.winPath, "*.jpg", "_small.jpg");
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("Имена миниатюр различаются только регистром букв, вторая не записана:\n" + order[0] + " -> " +
                  thumbOf(order[0]) + "\n" + order[1] + " -> " + thumbOf(order[1]),
              watch.seen[0].text);
    std::string first = thumbOf(order[0]).substr(11);
    EXPECT_EQ(std::vector<std::string>{first}, work.List("thumbnails"));
    PixelSize firstSize = order[0] == "IMG_0001.JPG" ? PixelSize{150, 113} : PixelSize{32, 24};
    EXPECT_EQ(firstSize, ImageFileSize(work.Path("thumbnails/" + first)));
    std::string log = work.ReadFile("imagelog.sql");
    EXPECT_EQ(1, RowCount(log)) << log;
    EXPECT_NE(std::string::npos, log.find("('" + order[0] + "'")) << log;
}

// Temporary files of the program's own pattern that a killed job left in thumbnails go
// with the next job; other names stay.
TEST_F(ThumbWrites, LeftoverTemporaryFilesAreRemoved)
{
    TestFolder work;
    ASSERT_TRUE(SaveTestImage(work.Path("photo.jpg"), FIF_JPEG, 64, 48));
    work.MakeDir("thumbnails");
    const std::vector<std::string> kept = {"~fotobatch-1-x.tmp", "~fotobatch-12.tmp", "~fotobatch-7-1.tmpx"};
    for (const std::string &name : kept)
        work.WriteFile("thumbnails/" + name, "mine");
    work.WriteFile("thumbnails/~fotobatch-4242-0.tmp", "");
    work.WriteFile("thumbnails/~fotobatch-" + std::to_string(GetCurrentProcessId()) + "-99.tmp", "half");
    BoxWatch watch;
    RunJobIn(work.winPath, "*.jpg", "_small.jpg");
    std::vector<std::string> expected = kept;
    expected.push_back("photo_small.jpg");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, work.List("thumbnails"));
}

// The working folder disappears while the first description dialog is open, as when
// its medium is pulled: one box says so and the job ends.
TEST_F(ThumbWrites, VanishedFolderEndsTheJobWithOneBox)
{
    TestFolder base;
    base.MakeDir("work");
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        ASSERT_TRUE(SaveTestImage(base.Path(std::string("work/") + name), FIF_JPEG, 64, 48));
    BoxWatch watch;
    watch.Then([&base](HWND dialog) {
        ASSERT_EQ(0, system(("rm -rf '" + base.Path("work") + "'").c_str()));
        PressNow(dialog, IDOK);
    });
    RunThumbnailJob(base.winPath + "\\work");
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("Папка задания недоступна (носитель извлечён?), задание остановлено:\n" + base.winPath + "\\work",
              watch.seen[1].text);
}

// While the first description dialog is open, what was decoded ahead goes stale: one
// file is deleted, one renamed away with another picture put under its name, one
// overwritten, one overwritten by a header that declares far too many pixels, one
// renamed, one added. After Default every row and thumbnail describes the file as it is
// when they are written; the bomb and the two names that are gone get the load-failure
// box and no row.
TEST_F(ThumbWrites, WrittenAsTheFilesAreWhenWritten)
{
    TestFolder work;
    for (const char *name : {"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg", "p6.jpg", "p7.jpg"})
        ASSERT_TRUE(SaveTestImage(work.Path(name), FIF_JPEG, 32, 24));
    // the roles go by the listing: the first listed is the one being described
    std::vector<std::string> order = work.SearchOrder("*.jpg");
    const std::string &deleted = order[1], &replaced = order[2], &overwritten = order[3], &renamed = order[4],
                      &bombed = order[5];
    BoxWatch watch;
    watch.Then([&](HWND dialog) {
        Sleep(500);  // let the workers decode every entry ahead
        ASSERT_EQ(0, unlink(work.Path(deleted).c_str()));
        ASSERT_EQ(0, rename(work.Path(replaced).c_str(), work.Path("old.jpeg").c_str()));
        ASSERT_TRUE(SaveTestImage(work.Path(replaced), FIF_JPEG, 64, 48));
        ASSERT_TRUE(SaveTestImage(work.Path(overwritten), FIF_JPEG, 500, 500));
        ASSERT_EQ(0, rename(work.Path(renamed).c_str(), work.Path("moved.jpeg").c_str()));
        work.WriteFile(bombed, WithFrameSize(ProgressiveJpeg(64, 64), 16001, 16000));
        ASSERT_TRUE(SaveTestImage(work.Path("p8.jpg"), FIF_JPEG, 40, 30));
        PressNow(dialog, IDC_REC_DEFAULT);
    });
    RunThumbnailJob(work.winPath);
    std::vector<std::string> boxes;
    for (const SeenBox &box : watch.seen)
        boxes.push_back(box.caption);
    // a file that cannot be opened: the library's failed open, then the load failure
    EXPECT_EQ((std::vector<std::string>{recordCaption, libraryCaption, loadCaption, libraryCaption, loadCaption,
                                        loadCaption}),
              boxes);
    std::string log = work.ReadFile("imagelog.sql");
    for (const std::string &name : work.SearchOrder("*.jpg")) {
        if (name == bombed || (name == "p8.jpg" && log.find("('p8.jpg'") == std::string::npos))
            continue;  // the bomb is not loaded here either; p8 was added after the listing read past it
        PixelSize now = ImageFileSize(work.Path(name));
        std::string row = "('" + name + "','" + name + "','','" + std::to_string(now.width) + "','" +
                          std::to_string(now.height) + "','" + std::to_string(work.ReadFile(name).size()) + "'";
        EXPECT_NE(std::string::npos, log.find(row)) << row << "\n" << log;
        PixelSize thumb = now.width > 150 ? PixelSize{150, 150} : now;
        EXPECT_EQ(thumb, ImageFileSize(work.Path("thumbnails/" + name.substr(0, 2) + "_small.jpg"))) << name;
    }
    for (const std::string &gone : {deleted, renamed, bombed}) {
        EXPECT_EQ(std::string::npos, log.find("('" + gone + "'")) << gone << "\n" << log;
        EXPECT_FALSE(work.Exists("thumbnails/" + gone.substr(0, 2) + "_small.jpg")) << gone;
    }
}
