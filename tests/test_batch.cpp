// The thumbnail job over real folders: which boxes the user sees, in order, which
// thumbnails appear with which pixel sizes, and the exact bytes of imagelog.sql.
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "images.h"
#include "jobs.h"
#include "jobtexts.h"
#include "smalldisk.h"
#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <sys/stat.h>

#include <functional>

static const std::string notAFolder = "thumbnails - не папка (файл или ссылка), миниатюры не записаны:\n";

struct Box {
    std::string caption;
    std::string text;
    BoxIcon icon;
};
static const Box recordDialog = {recordCaption, "", ICON_NONE};
static const Box loadFailed = {loadCaption, "", ICON_INFORMATION};
// The library's box names the entry, then gives the library's own words.
static Box LibraryBox(const std::string &name, const std::string &words)
{
    return Box{libraryCaption, name + "\n" + words, ICON_INFORMATION};
}

static Box ErrorBox(const std::string &text, BoxIcon icon = ICON_INFORMATION)
{
    return Box{"Error", text, icon};
}

// The boxes seen, in order, as caption | text | icon | owner: the job's boxes have no
// owner, the description dialog belongs to the main window.
static void ExpectBoxes(const std::vector<Box> &expected, const BoxWatch &watch)
{
    std::vector<std::string> want, seen;
    for (const Box &box : expected)
        want.push_back(box.caption + " | " + box.text + " | " + std::to_string(box.icon) +
                       (box.caption == recordCaption ? " | main window" : " | none"));
    for (const SeenBox &box : watch.seen)
        seen.push_back(box.caption + " | " + box.text + " | " + std::to_string(box.icon) +
                       (box.owner == mainWindow ? " | main window" : box.owner == NULL ? " | none" : " | other"));
    EXPECT_EQ(want, seen);
}

// One statement of imagelog.sql; the values are given as they stand inside the quotes.
static std::string Row(const std::string &name, int width, int height, unsigned long long size,
                       const std::string &commentary = "", const std::string &secId = "",
                       const std::string &dir = "")
{
    return Statement("'" + name + "','" + name + "','" + commentary + "','" + std::to_string(width) + "','" +
                     std::to_string(height) + "','" + std::to_string(size) + "','" + std::string(dateStamp) + "','" +
                     secId + "','" + dir + "'");
}

class Batch : public testing::Test {
protected:
    void SetUp() override { StartProgram(); }

    // Runs the job as Run! would, and checks what every job leaves behind.
    void Run(const std::string &where, const std::string &mask = "*.jpg",
             const std::string &suffix = "_small.jpg", int size = 150)
    {
        EXPECT_EQ(1, RunThumbnailJob(where, mask, suffix, size));
        EXPECT_EQ(0, recordDefaultsSet);
        EXPECT_EQ(INVALID_HANDLE_VALUE, imageLog);
    }

    void AnswerEveryBoxWithOk(size_t count)
    {
        for (size_t i = 0; i < count; i++)
            watch.Then(Press(IDOK));
    }

    TestFolder folder;
    BoxWatch watch;
};

enum Content { JPEG_800x600, PNG_300x600, BMP_640x480, JPEG_CUT, EMPTY_FILE, DIRECTORY, DOUBLE_TIFF };

static void Put(const TestFolder &folder, const std::string &name, Content content)
{
    switch (content) {
    case JPEG_800x600:
        ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_JPEG, 800, 600));
        break;
    case PNG_300x600:
        ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_PNG, 300, 600));
        break;
    case BMP_640x480:
        ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_BMP, 640, 480));
        break;
    case JPEG_CUT: {
        std::string bytes = TestImageBytes(FIF_JPEG, 400, 300);
        folder.WriteFile(name, bytes.substr(0, bytes.size() / 2));
        break;
    }
    case EMPTY_FILE:
        folder.WriteFile(name, "");
        break;
    case DIRECTORY:
        folder.MakeDir(name);
        break;
    case DOUBLE_TIFF: {
        // an image of doubles: it loads, but the library makes no thumbnail of it
        FIBITMAP *image = FreeImage_AllocateT(FIT_DOUBLE, 400, 300, 64, 0, 0, 0);
        ASSERT_TRUE(FreeImage_Save(FIF_TIFF, image, folder.Path(name).c_str(), 0));
        FreeImage_Unload(image);
        break;
    }
    }
}

struct EntryCase {
    const char *label;
    std::string name;      // on disk, UTF-8
    Content content;
    std::string mask;
    std::string suffix;
    int size;
    std::vector<Box> boxes;
    std::string thumbName;  // in thumbnails, UTF-8; empty when none is made
    PixelSize thumbSize;
    FREE_IMAGE_FORMAT thumbFormat;
    std::string sqlName;    // the name as it stands in the log's quotes; empty when no row
    PixelSize source;
};

static std::vector<EntryCase> EntryCases()
{
    const std::string longSuffix = std::string(250, 's') + ".jpg";  // 259 with "photo"
    return {
        {"plain JPEG", "photo.jpg", JPEG_800x600, "*.jpg", "_small.jpg", 150, {recordDialog},
         "photo_small.jpg", {150, 113}, FIF_JPEG, "photo.jpg", {800, 600}},
        {"PNG content under a .jpg name", "inside.jpg", PNG_300x600, "*.jpg", "_small.jpg", 150,
         {recordDialog}, "inside_small.jpg", {75, 150}, FIF_JPEG, "inside.jpg", {300, 600}},
        {"BMP to a PNG suffix", "pic.bmp", BMP_640x480, "*.bmp", "_small.png", 150, {recordDialog},
         "pic_small.png", {150, 113}, FIF_PNG, "pic.bmp", {640, 480}},
        {"the last dot cuts", "a.b.c.jpg", JPEG_800x600, "*.jpg", "_small.jpg", 150, {recordDialog},
         "a.b.c_small.jpg", {150, 113}, FIF_JPEG, "a.b.c.jpg", {800, 600}},
        {"no dot: the whole name", "photo", JPEG_800x600, "photo", "_small.jpg", 150, {recordDialog},
         "photo_small.jpg", {150, 113}, FIF_JPEG, "photo", {800, 600}},
        {"only a leading dot: the whole name", ".jpg", JPEG_800x600, "*.jpg", "_small.jpg", 150,
         {recordDialog}, ".jpg_small.jpg", {150, 113}, FIF_JPEG, ".jpg", {800, 600}},
        {"Cyrillic name", u8"фото.jpg", JPEG_800x600, "*.jpg", "_small.jpg", 150, {recordDialog},
         u8"фото_small.jpg", {150, 113}, FIF_JPEG, "фото.jpg", {800, 600}},
        {"quote in the name", "O'Neil.jpg", JPEG_800x600, "*.jpg", "_small.jpg", 150, {recordDialog},
         "O'Neil_small.jpg", {150, 113}, FIF_JPEG, "O''Neil.jpg", {800, 600}},
        {"suffix .jpg keeps the name", "photo.jpg", JPEG_800x600, "*.jpg", ".jpg", 1200,
         {recordDialog}, "photo.jpg", {800, 600}, FIF_JPEG, "photo.jpg", {800, 600}},
        {"truncated JPEG: the library complains, the rest is grey", "cut.jpg", JPEG_CUT, "*.jpg",
         "_small.jpg", 150, {LibraryBox("cut.jpg", "Premature end of JPEG file"), recordDialog}, "cut_small.jpg",
         {150, 113}, FIF_JPEG, "cut.jpg", {400, 300}},
        {"zero-byte file", "empty.jpg", EMPTY_FILE, "*.jpg", "_small.jpg", 150,
         {LibraryBox("empty.jpg", "Empty input file"), loadFailed}, "", {}, FIF_UNKNOWN, "", {}},
        {"directory named like an image", "x.jpg", DIRECTORY, "*.jpg", "_small.jpg", 150,
         {LibraryBox("x.jpg", "Empty input file"), loadFailed}, "", {}, FIF_UNKNOWN, "", {}},
        {"no thumbnail from the library", "deep.tif", DOUBLE_TIFF, "*.tif", "_small.jpg", 150,
         {ErrorBox("Не удалось уменьшить изображение:\ndeep.tif")}, "", {}, FIF_UNKNOWN, "", {}},
        {"unknown output extension: silently nothing", "photo.jpg", JPEG_800x600, "*.jpg", "_small",
         150, {}, "", {}, FIF_UNKNOWN, "", {}},
        {"output path over 259 characters", "photo.jpg", JPEG_800x600, "*.jpg", longSuffix, 150,
         {ErrorBox("Имя миниатюры длиннее 259 символов, файл пропущен:\nphoto.jpg")}, "", {},
         FIF_UNKNOWN, "", {}},
        {"base name and suffix over 259 characters", "photo.jpg", JPEG_800x600, "*.jpg",
         longSuffix + "x", 150,
         {ErrorBox("Имя миниатюры длиннее 259 символов, файл пропущен:\nphoto.jpg")}, "", {},
         FIF_UNKNOWN, "", {}},
    };
}

TEST_F(Batch, EachKindOfEntry)
{
    for (const EntryCase &c : EntryCases()) {
        SCOPED_TRACE(c.label);
        TestFolder here;
        BoxWatch boxes;
        Put(here, c.name, c.content);
        for (size_t i = 0; i < c.boxes.size(); i++)
            boxes.Then(Press(IDOK));
        Run(here.winPath, c.mask, c.suffix, c.size);

        ExpectBoxes(c.boxes, boxes);
        EXPECT_EQ(0, boxes.unanswered);
        std::vector<std::string> made = here.List("thumbnails");
        if (c.thumbName.empty()) {
            EXPECT_TRUE(made.empty()) << made.size() << " made, first " << (made.empty() ? "" : made[0]);
        } else {
            EXPECT_EQ(std::vector<std::string>{c.thumbName}, made);
            EXPECT_EQ(c.thumbSize, ImageFileSize(here.Path("thumbnails/" + c.thumbName)));
            EXPECT_EQ(c.thumbFormat, ImageFileFormat(here.Path("thumbnails/" + c.thumbName)));
        }
        std::string expectedLog;
        if (!c.sqlName.empty())
            expectedLog = Row(c.sqlName, c.source.width, c.source.height, here.ReadFile(c.name).size());
        EXPECT_EQ(expectedLog, here.ReadFile("imagelog.sql"));
    }
}

// "Default" at the first image: no further dialog in this job, every row carries what was
// typed; the next job asks again and offers the commentary, section and folder typed.
TEST_F(Batch, DefaultHoldsForOneJobOnly)
{
    const char *names[] = {"one.jpg", "two.jpg", "three.jpg"};
    for (const char *name : names)
        Put(folder, name, JPEG_800x600);
    std::vector<std::string> order = folder.SearchOrder("*.jpg");
    ASSERT_EQ(3u, order.size());

    watch.Then([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_REC_NAME, "typed name");
        SetDlgItemTextA(dialog, IDC_REC_COMMENTARY, "first line\r\nsecond line");
        SetDlgItemTextA(dialog, IDC_REC_SEC_ID, "7");
        SetDlgItemTextA(dialog, IDC_REC_DIR, "C:\\photos\\");
        PressNow(dialog, IDC_REC_DEFAULT);
    });
    Run(folder.winPath);
    ExpectBoxes({recordDialog}, watch);
    std::string expected;
    for (size_t i = 0; i < order.size(); i++) {
        std::string row = Row(order[i], 800, 600, folder.ReadFile(order[i]).size(),
                              "first line\r\nsecond line", "7", "C:\\\\photos\\\\");
        if (i == 0)  // a typed name is for the first image only
            row.replace(row.find("('" + order[0] + "'"), order[0].size() + 3, "('typed name'");
        expected += row;
    }
    EXPECT_EQ(expected, folder.ReadFile("imagelog.sql"));
    EXPECT_EQ(3u, folder.List("thumbnails").size());

    // the second job: the dialog again at its first image, with the values typed before
    std::string offered[3];
    watch.Then([&offered](HWND dialog) {
        offered[0] = ControlText(dialog, IDC_REC_COMMENTARY);
        offered[1] = ControlText(dialog, IDC_REC_SEC_ID);
        offered[2] = ControlText(dialog, IDC_REC_NAME);
        PressNow(dialog, IDOK);
    });
    watch.Then(Press(IDOK));
    watch.Then(Press(IDOK));
    Run(folder.winPath);
    ExpectBoxes({recordDialog, recordDialog, recordDialog, recordDialog}, watch);
    EXPECT_EQ("first line\r\nsecond line", offered[0]);
    EXPECT_EQ("7", offered[1]);
    EXPECT_EQ(order[0], offered[2]);
    // the log is written anew, thumbnails replaced under the same names
    expected.clear();
    for (const std::string &name : order)
        expected += Row(name, 800, 600, folder.ReadFile(name).size(), "first line\r\nsecond line", "7",
                        "C:\\\\photos\\\\");
    EXPECT_EQ(expected, folder.ReadFile("imagelog.sql"));
    EXPECT_EQ(3u, folder.List("thumbnails").size());
}

// A name without a dot must not inherit the base name of the image before it.
TEST_F(Batch, NamesWithoutDotDoNotInheritTheLastBaseName)
{
    Put(folder, "photo", JPEG_800x600);
    Put(folder, "p.x.png", PNG_300x600);
    AnswerEveryBoxWithOk(2);
    Run(folder.winPath, "p*");
    ExpectBoxes({recordDialog, recordDialog}, watch);
    EXPECT_EQ((std::vector<std::string>{"p.x_small.jpg", "photo_small.jpg"}), folder.List("thumbnails"));
}

// photo.jpg and photo.png share a thumbnail name: two rows, and the later image's file.
TEST_F(Batch, LaterSameNamedThumbnailReplacesTheEarlier)
{
    Put(folder, "photo.jpg", JPEG_800x600);
    Put(folder, "photo.png", PNG_300x600);
    std::vector<std::string> order = folder.SearchOrder("photo.*");
    ASSERT_EQ(2u, order.size());
    AnswerEveryBoxWithOk(2);
    Run(folder.winPath, "photo.*");
    ExpectBoxes({recordDialog, recordDialog}, watch);
    EXPECT_EQ(std::vector<std::string>{"photo_small.jpg"}, folder.List("thumbnails"));
    PixelSize later = order[1] == "photo.png" ? PixelSize{75, 150} : PixelSize{150, 113};
    EXPECT_EQ(later, ImageFileSize(folder.Path("thumbnails/photo_small.jpg")));
    std::string log = folder.ReadFile("imagelog.sql");
    EXPECT_NE(std::string::npos, log.find("('photo.jpg','photo.jpg','','800','600'"));
    EXPECT_NE(std::string::npos, log.find("('photo.png','photo.png','','300','600'"));
}

// Where the job has nothing to do or nowhere to write, beside photo.jpg: one box, and
// the folder then holds what it held and only the entries named besides.
TEST_F(Batch, StoppedJobsWriteOnlyWhatTheyMust)
{
    struct Case {
        const char *label;
        std::function<void(const TestFolder &)> plant;
        std::string mask;
        Box box;  // "%s" in its text stands for the folder's Windows path
        std::map<std::string, std::string> added;
    };
    const std::string rows = "INSERT INTO photo_img VALUES ('a');\nINSERT INTO photo_img VALUES ('b');\n";
    const Case cases[] = {
        {"nothing matches", [](const TestFolder &) {}, "*.png", ErrorBox("FindFirstFile"),
         {{"imagelog.sql", ""}, {"thumbnails/", ""}}},
        {"imagelog.sql is a folder", [](const TestFolder &f) { f.MakeDir("imagelog.sql"); }, "*.jpg",
         ErrorBox("fopen imagelog.sql"), {}},
        {"imagelog.sql may not be written", [&rows](const TestFolder &f) {
             f.WriteFile("imagelog.sql", rows);
             ASSERT_EQ(0, chmod(f.Path("imagelog.sql").c_str(), 0444));
         }, "*.jpg", ErrorBox("fopen imagelog.sql"), {}},
        {"thumbnails is a file", [](const TestFolder &f) { f.WriteFile("thumbnails", "not a folder"); }, "*.jpg",
         ErrorBox(notAFolder + "%s\\thumbnails\\", ICON_WARNING), {{"imagelog.sql", ""}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        TestFolder here;
        BoxWatch boxes;
        Put(here, "photo.jpg", JPEG_800x600);
        c.plant(here);
        std::map<std::string, std::string> expected = FolderSnapshot(here.unixPath);
        expected.insert(c.added.begin(), c.added.end());
        Box box = c.box;
        if (box.text.find("%s") != std::string::npos)
            box.text.replace(box.text.find("%s"), 2, here.winPath);
        Run(here.winPath, c.mask);
        ExpectBoxes({box}, boxes);
        EXPECT_EQ(expected, FolderSnapshot(here.unixPath));
    }
}

// A working directory that is gone: the job writes nothing, here or anywhere else.
TEST_F(Batch, MissingWorkDirWritesNothing)
{
    TestFolder current;
    SetCurrentDirectoryA(current.winPath.c_str());
    recordDefaultsSet = 1;
    Run(folder.winPath + "\\gone", "*.*");
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("Error", watch.seen[0].caption);
    EXPECT_NE(std::string::npos, watch.seen[0].text.find(folder.winPath + "\\gone"));
    EXPECT_TRUE(current.List().empty());
    EXPECT_TRUE(folder.List().empty());
}

// A thumbnails folder that cannot be made, on a disk with no room for one more entry (its
// root, the photo and the log take them all): the user is told which folder, and the job
// stops there, before it asks about any image.
TEST_F(Batch, ThumbnailsFolderThatCannotBeMadeIsNamed)
{
    SmallDisk disk(folder.Path("disk"), "1m", 3);
    if (!disk.mounted)
        GTEST_SKIP() << disk.failure;
    Put(folder, "disk/photo.jpg", JPEG_800x600);
    Run(folder.winPath + "\\disk");
    ExpectBoxes({ErrorBox(folder.winPath + "\\disk\\thumbnails\\", ICON_WARNING)}, watch);
    EXPECT_TRUE(!watch.seen.empty() && watch.seen[0].messageBox);
    EXPECT_EQ((std::vector<std::string>{"imagelog.sql", "photo.jpg"}), folder.List("disk"));
    EXPECT_EQ("", folder.ReadFile("disk/imagelog.sql"));
}
