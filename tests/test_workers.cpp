// The decoding workers: what the job gets for an entry equals what loading it in the job
// gives, and a file that crashes, hangs or overwhelms the image library costs that entry
// only. The bad files are made here, byte by byte, as they occur in the wild.
#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "gtest_win.h"
#include "boxwatch.h"
#include "fixture.h"
#include "hostile.h"
#include "images.h"
#include "jobs.h"
#include "jobtexts.h"

#include "base/state.h"
#include "res/resource.h"
#include "decode/decoder.h"
#include "base/base.h"
#include "thumbs/thumbs.h"

// Bytes ------------------------------------------------------------------------------

static std::string RgbaPng(int width, int height)
{
    FIBITMAP *picture = Picture(width, height, 32);
    std::string bytes = Encode(picture, FIF_PNG, 0);
    FreeImage_Unload(picture);
    return bytes;
}

static std::string Png16(int width, int height)
{
    FIBITMAP *picture = FreeImage_AllocateT(FIT_RGB16, width, height);
    for (int y = 0; y < height; y++) {
        FIRGB16 *line = (FIRGB16 *)FreeImage_GetScanLine(picture, y);
        for (int x = 0; x < width; x++)
            line[x] = {(WORD)(x * 65535 / width), (WORD)(y * 65535 / height), 30000};
    }
    std::string bytes = Encode(picture, FIF_PNG, 0);
    FreeImage_Unload(picture);
    return bytes;
}

// A JPEG whose Exif block claims 0xFFFF entries in IFD0: the library reads 768 kB past
// the block while loading. A fresh worker's heap ends long before that, so it crashes
// there; in a worker whose heap has grown the read may land on its own memory instead.
static std::string ExifBombJpeg()
{
    std::string tiff("II*\0", 4);
    Put(tiff, 8, 4, false);
    Put(tiff, 0xFFFF, 2, false);
    for (int i = 0; i < 64; i++) {
        Put(tiff, 0x0110 + i, 2, false);
        Put(tiff, 2, 2, false);
        Put(tiff, 200, 4, false);
        Put(tiff, 0x7FFFFFF0u, 4, false);
    }
    return AfterSoi(Jpeg(64, 48), JpegSegment(0xE1, std::string("Exif\0\0", 6) + tiff));
}

// The pool under test ---------------------------------------------------------------

// The workers the pool starts: one per core, at most 8.
static int Cores()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return (std::min)((int)system.dwNumberOfProcessors, 8);
}

// What one entry gave: loaded or not, sizes, and the boxes shown on the way.
struct Outcome {
    bool loaded = false;
    unsigned width = 0, height = 0;
    unsigned thumbWidth = 0, thumbHeight = 0;
    int thumbBpp = 0;
    FREE_IMAGE_TYPE thumbType = FIT_UNKNOWN;
    std::vector<std::string> boxes;  // captions, in order
    std::vector<std::string> reports;  // the library's reports, in order
    FIBITMAP *thumb = NULL;          // kept when asked
};

static std::vector<std::string> Captions(const BoxWatch &watch)
{
    std::vector<std::string> captions;
    for (const SeenBox &box : watch.seen)
        captions.push_back(box.caption);
    return captions;
}

static void Describe(Outcome &outcome, bool loaded, unsigned width, unsigned height, FIBITMAP *made, bool keepThumb)
{
    outcome.loaded = loaded;
    outcome.width = width;
    outcome.height = height;
    if (made != NULL) {
        outcome.thumbWidth = FreeImage_GetWidth(made);
        outcome.thumbHeight = FreeImage_GetHeight(made);
        outcome.thumbBpp = FreeImage_GetBPP(made);
        outcome.thumbType = FreeImage_GetImageType(made);
        if (keepThumb)
            outcome.thumb = made;
        else
            FreeImage_Unload(made);
    }
}

// One entry through the decoder, as the job takes it: the entry's own name is the mask,
// and the library's reports are shown as the job shows them.
static Outcome ThroughWorkers(const std::string &name, bool keepThumb = false)
{
    BoxWatch watch;
    Outcome outcome;
    DecodedEntry decoded;
    EXPECT_TRUE(DecoderBegin(name.c_str(), thumbSize)) << name;
    EXPECT_TRUE(DecoderNext(&decoded)) << name;
    FREE_IMAGE_FORMAT format;
    char text[1024];
    for (int i = 0; DecodedMessage(&decoded, i, &format, text, sizeof text); i++) {
        outcome.reports.push_back(text);
        ImageLibraryMessage(format, text);
    }
    outcome.boxes = Captions(watch);
    FIBITMAP *made = decoded.loaded ? decoded.thumbnail : NULL;
    decoded.thumbnail = made == NULL ? decoded.thumbnail : NULL;
    Describe(outcome, decoded.loaded, decoded.width, decoded.height, made, keepThumb);
    DecoderRelease(&decoded);
    DecoderEnd();
    return outcome;
}

// The same entry loaded in this process, as the job did before it had workers.
static Outcome InProcess(const std::string &name, bool keepThumb = false)
{
    BoxWatch watch;
    Outcome outcome;
    char unixPath[MAX_PATH * 4];
    EXPECT_TRUE(UnixFileName(name.c_str(), unixPath, sizeof unixPath)) << name;
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(unixPath, 0);
    format = format != FIF_UNKNOWN ? format : FreeImage_GetFIFFromFilename(unixPath);
    FIBITMAP *image = format != FIF_UNKNOWN && FreeImage_FIFSupportsReading(format)
                          ? FreeImage_Load(format, unixPath, 0) : NULL;
    FIBITMAP *made = image != NULL ? FreeImage_MakeThumbnail(image, thumbSize, TRUE) : NULL;
    outcome.boxes = Captions(watch);
    Describe(outcome, image != NULL, image != NULL ? FreeImage_GetWidth(image) : 0,
             image != NULL ? FreeImage_GetHeight(image) : 0, made, keepThumb);
    if (image != NULL)
        FreeImage_Unload(image);
    return outcome;
}

// Peak signal-to-noise ratio of two 24-bit images of one size, in dB.
static double Psnr(FIBITMAP *a, FIBITMAP *b)
{
    double sum = 0;
    unsigned width = FreeImage_GetWidth(a), height = FreeImage_GetHeight(a);
    for (unsigned y = 0; y < height; y++) {
        const BYTE *p = FreeImage_GetScanLine(a, y), *q = FreeImage_GetScanLine(b, y);
        for (unsigned x = 0; x < width * 3; x++)
            sum += (double)(p[x] - q[x]) * (p[x] - q[x]);
    }
    double mse = sum / (width * height * 3.0);
    return mse == 0 ? 99 : 10 * log10(255.0 * 255.0 / mse);
}

class DecoderTest : public testing::Test {
protected:
    TestFolder folder;
    void SetUp() override
    {
        StartProgram();
        DecoderShutdown();  // fresh workers: a crash on a worker's first image is tested
        TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
        ASSERT_TRUE(SetCurrentDirectoryA(workDir));
    }
    void TearDown() override
    {
        DecoderEnd();
    }
};

// JPEGs decode scaled in the worker; the record's size must still be the source's and
// the thumbnail the size the full decode gives, odd sizes included.
TEST_F(DecoderTest, ScaledJpegKeepsSourceSizeAndFullDecodeThumbnailSize)
{
    const int sizes[][2] = {{4000, 3000}, {4001, 2999}, {3000, 4000}, {1001, 999}, {2047, 1535},
                            {1599, 1}, {7, 2000}, {1200, 1200}, {300, 200}, {100, 80}};
    for (const auto &size : sizes)
        folder.WriteFile("p" + std::to_string(size[0]) + "x" + std::to_string(size[1]) + ".jpg",
                         Jpeg(size[0], size[1]));
    for (const std::string &name : folder.SearchOrder("*.jpg")) {
        Outcome pooled = ThroughWorkers(name, true);
        Outcome plain = InProcess(name, true);
        ASSERT_TRUE(pooled.loaded) << name;
        EXPECT_EQ(plain.width, pooled.width) << name;
        EXPECT_EQ(plain.height, pooled.height) << name;
        EXPECT_EQ(plain.thumbWidth, pooled.thumbWidth) << name;
        EXPECT_EQ(plain.thumbHeight, pooled.thumbHeight) << name;
        EXPECT_EQ(plain.thumbBpp, pooled.thumbBpp) << name;
        EXPECT_TRUE(pooled.boxes.empty()) << name;
        if (pooled.thumb != NULL && plain.thumb != NULL && pooled.thumbWidth == plain.thumbWidth
            && pooled.thumbHeight == plain.thumbHeight && plain.thumbWidth > 2 && plain.thumbHeight > 2) {
            EXPECT_GT(Psnr(plain.thumb, pooled.thumb), 30.0) << name;
        }
        // the note of the scaled decode does not reach the thumbnail
        FITAG *tag = NULL;
        EXPECT_FALSE(FreeImage_GetMetadata(FIMD_COMMENTS, pooled.thumb, "OriginalJPEGWidth", &tag)) << name;
        FreeImage_Unload(pooled.thumb);
        FreeImage_Unload(plain.thumb);
    }
}

// Formats that are not scaled on load give the very same thumbnail, down to the file saved.
TEST_F(DecoderTest, OtherFormatsGiveTheSameThumbnailFile)
{
    folder.WriteFile("rgba.png", RgbaPng(640, 480));
    folder.WriteFile("deep.png", Png16(300, 500));
    folder.WriteFile("small.png", Png16(40, 30));  // smaller than the thumbnail: kept 16-bit
    FIBITMAP *picture = Picture(200, 100);
    FreeImage_SetDotsPerMeterX(picture, 3780);
    FreeImage_SetDotsPerMeterY(picture, 3780);
    FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, picture, "Comment", "hello");
    folder.WriteFile("tagged.png", Encode(picture, FIF_PNG, 0));
    FreeImage_Unload(picture);

    for (const std::string &name : folder.SearchOrder("*.png")) {
        Outcome pooled = ThroughWorkers(name, true);
        Outcome plain = InProcess(name, true);
        ASSERT_TRUE(pooled.loaded && plain.loaded) << name;
        EXPECT_EQ(plain.thumbType, pooled.thumbType) << name;
        EXPECT_EQ(plain.thumbBpp, pooled.thumbBpp) << name;
        std::string pooledFile = Encode(pooled.thumb, FIF_PNG, 0);
        std::string plainFile = Encode(plain.thumb, FIF_PNG, 0);
        EXPECT_FALSE(plainFile.empty()) << name;
        EXPECT_TRUE(pooledFile == plainFile) << name << ": the saved thumbnails differ";
        FreeImage_Unload(pooled.thumb);
        FreeImage_Unload(plain.thumb);
    }
}

// A file that crashes a fresh worker (the Exif bomb) or that needs more than the worker's memory ceiling (a PFM of 15000 x 15000 within the pixel
// limit, 2.7 GB of float pixels: the library reports the failed allocation) costs that
// entry only: the entry after it loads as ever.
TEST_F(DecoderTest, AnEntryThatFailsInAWorkerCostsThatEntryOnly)
{
    struct Case { const char *name; std::string bytes; const char *report; };  // NULL: no box at all
    const Case cases[] = {
        {"a_exif.jpg", ExifBombJpeg(), NULL},
        {"a_big.pfm", "PF\n15000 15000\n-1.0\n" + std::string(4096, '\0'), "DIB allocation failed"},
    };
    folder.WriteFile("b_good.jpg", Jpeg(320, 240));
    for (const Case &c : cases) {
        folder.WriteFile(c.name, c.bytes);
        DecoderShutdown();
        Outcome bad = ThroughWorkers(c.name);
        Outcome good = ThroughWorkers("b_good.jpg");
        EXPECT_FALSE(bad.loaded) << c.name;
        if (c.report == NULL) {
            EXPECT_EQ(std::vector<std::string>(), bad.boxes) << c.name;
        } else {
            ASSERT_EQ(1u, bad.reports.size()) << c.name;
            EXPECT_EQ(0u, bad.reports[0].find(c.report)) << bad.reports[0];
        }
        EXPECT_TRUE(good.loaded) << c.name;
        EXPECT_EQ(320u, good.width) << c.name;
    }
}

// What the job checks before writing an entry: it is unchanged only while its path opens
// the very file decoded, as it was then; decoded again it gives what the file holds now,
// and is that file from then on.
TEST_F(DecoderTest, AnEntryIsUnchangedOnlyWhileItIsTheFileDecoded)
{
    const TestFolder &f = folder;
    struct Case { const char *change; std::function<void()> make; bool unchanged; unsigned widthAgain; };  // 0: not loaded
    const Case cases[] = {
        {"none", [] {}, true, 320},
        {"same bytes written again", [&f] { f.WriteFile("p.jpg", Jpeg(320, 240)); }, false, 320},
        {"overwritten", [&f] { f.WriteFile("p.jpg", Jpeg(640, 480)); }, false, 640},
        {"replaced by a rename", [&f] {
             f.WriteFile("new.tmp", Jpeg(500, 400));
             rename(f.Path("new.tmp").c_str(), f.Path("p.jpg").c_str());
         }, false, 500},
        {"deleted", [&f] { remove(f.Path("p.jpg").c_str()); }, false, 0},
    };
    for (const Case &c : cases) {
        folder.WriteFile("p.jpg", Jpeg(320, 240));
        DecodedEntry entry;
        ASSERT_TRUE(DecoderBegin("p.jpg", 150) && DecoderNext(&entry)) << c.change;
        EXPECT_TRUE(entry.identified) << c.change;
        c.make();
        EXPECT_EQ(c.unchanged, (bool)DecoderEntryUnchanged(&entry)) << c.change;
        DecoderDecodeAgain(&entry);
        EXPECT_EQ(c.widthAgain, entry.loaded ? entry.width : 0u) << c.change;
        EXPECT_EQ(c.widthAgain != 0, (bool)DecoderEntryUnchanged(&entry)) << c.change;
        DecoderRelease(&entry);
        DecoderEnd();
    }
}

// The job over a folder ---------------------------------------------------------------

// What a whole job showed and left behind.
struct JobRun {
    std::vector<std::string> boxes;  // caption | text | icon, in order
    std::string log;
    std::map<std::string, PixelSize> thumbnails;
};

// Runs the job as the job dialog would, answering the first description dialog with
// Default and every other box with OK.
static JobRun RunFolder(const TestFolder &folder, const char *mask)
{
    BoxWatch watch;
    bool answered = false;
    for (int i = 0; i < 64; i++)
        watch.Then([&answered](HWND box) {
            char caption[256] = "";
            GetWindowTextA(box, caption, sizeof caption);
            bool record = std::string(caption) == recordCaption;
            PressNow(box, record && !answered ? IDC_REC_DEFAULT : record ? IDCANCEL : IDOK);
            answered = answered || record;
        });
    RunThumbnailJob(folder.winPath, mask);
    JobRun run;
    for (const SeenBox &box : watch.seen)
        run.boxes.push_back(box.caption + " | " + box.text + " | " + std::to_string(box.icon));
    run.log = folder.ReadFile("imagelog.sql");
    for (const std::string &name : folder.List("thumbnails"))
        run.thumbnails[name] = ImageFileSize(folder.Path("thumbnails/" + name));
    return run;
}

// Each of the images has its row, after the previous one's, and a thumbnail of 150 pixels
// on its longer side; nothing else has either.
static void ExpectRowsInOrder(JobRun &run, const std::vector<std::string> &images)
{
    size_t at = 0;
    for (const std::string &name : images) {
        size_t found = run.log.find("('" + name + "'", at);
        EXPECT_NE(std::string::npos, found) << name << " has no row after the previous one";
        at = found == std::string::npos ? at : found;
        std::string thumbName = name.substr(0, name.rfind('.')) + "_small.jpg";
        EXPECT_EQ(150, (std::max)(run.thumbnails[thumbName].width, run.thumbnails[thumbName].height)) << name;
    }
    EXPECT_EQ(images.size(), run.thumbnails.size());
    EXPECT_EQ((int)images.size(), RowCount(run.log));
}

static std::string Lines(const std::vector<std::string> &lines)
{
    std::string all;
    for (const std::string &line : lines)
        all += line + "\n";
    return all;
}

// Files that the library survives give the very same boxes, rows and thumbnails whether
// decoded in workers or in the job itself, as before the workers.
TEST(JobWithWorkers, SameBoxesRowsAndThumbnailsAsDecodingInTheJob)
{
    StartProgram();
    TestFolder folder;
    folder.WriteFile("a_first.jpg", Jpeg(1001, 999));
    folder.WriteFile("b_cut.jpg", Jpeg(600, 400).substr(0, 4000));
    folder.WriteFile("c_empty.jpg", "");
    folder.WriteFile("d_middle.jpg", Jpeg(4001, 2999));
    folder.WriteFile("e_rgba.png", RgbaPng(320, 200));
    folder.WriteFile("f_deep.png", Png16(90, 60));
    folder.WriteFile("g_text.txt", "not an image");
    folder.MakeDir("h_folder.jpg");
    folder.WriteFile("i_last.jpg", Jpeg(2047, 1535));

    JobRun pooled = RunFolder(folder, "*.*");
    UseStandIn("exit");
    JobRun plain = RunFolder(folder, "*.*");
    UseStandIn(NULL);

    EXPECT_EQ(Lines(plain.boxes), Lines(pooled.boxes));
    EXPECT_EQ(plain.log, pooled.log);
    EXPECT_EQ(plain.thumbnails, pooled.thumbnails);
    // the RGBA and the 16-bit picture are saved as JPEG too, not refused by the saver
    EXPECT_EQ((PixelSize{150, 94}), pooled.thumbnails["e_rgba_small.jpg"]);
    EXPECT_EQ((PixelSize{90, 60}), pooled.thumbnails["f_deep_small.jpg"]);
    EXPECT_NE(std::string::npos, pooled.log.find("'d_middle.jpg','d_middle.jpg','','4001','2999'"));
    EXPECT_EQ((PixelSize{150, 112}), pooled.thumbnails["d_middle_small.jpg"]);
}

// Workers decode ahead while the user describes an image, but nothing of a later image
// reaches the log or the thumbnails folder before the user has answered for it; the
// dialog shows each image's own source size.
TEST(JobWithWorkers, WorkDoneAheadWaitsForTheUsersAnswer)
{
    StartProgram();
    TestFolder folder;
    const int widths[] = {900, 700, 500, 300, 1100};
    for (int i = 0; i < 5; i++)
        folder.WriteFile("p" + std::to_string(i) + ".jpg", Jpeg(widths[i], 200));
    struct Seen { std::string name, width; size_t thumbnails, rows; };
    std::vector<Seen> seen;
    BoxWatch watch;
    for (int i = 0; i < 5; i++)
        watch.Then([&](HWND dialog) {
            seen.push_back({ControlText(dialog, IDC_REC_NAME), ControlText(dialog, IDC_REC_WIDTH),
                            folder.List("thumbnails").size(), (size_t)RowCount(folder.ReadFile("imagelog.sql"))});
            PressNow(dialog, IDOK);
        });
    RunThumbnailJob(folder.winPath);

    ASSERT_EQ(5u, seen.size()) << Describe(watch.seen);
    std::vector<std::string> listed = folder.SearchOrder("*.jpg");
    for (size_t i = 0; i < seen.size(); i++) {
        EXPECT_EQ(listed[i], seen[i].name);
        EXPECT_EQ(std::to_string(widths[listed[i][1] - '0']), seen[i].width) << listed[i];
        EXPECT_EQ(i, seen[i].thumbnails) << "thumbnails on disk while describing " << listed[i];
        EXPECT_EQ(i, seen[i].rows) << "rows in the log while describing " << listed[i];
    }
    EXPECT_EQ(5u, folder.List("thumbnails").size());
}

// A folder of hostile files among good images: header bombs of several formats, the
// progressive JPEG that declares just over the pixel limit, a named pipe, files cut short
// and, where a worker can take it, the PSD that crashes the library, first, in the middle
// and last.
struct HostileFile {
    std::string name;
    std::string bytes;
    bool complains;  // the library reports something about it before it fails to load
};

static std::vector<HostileFile> HostileFolder(bool withCrasher)
{
    std::string app1 = JpegSegment(0xE1, std::string(40000, 'E'));
    std::vector<HostileFile> files = {
        {"a_good.jpg", Jpeg(800, 600), false},
        {"b_sgi.sgi", SgiBomb(30000, 30000), false},
        {"c_good.jpg", ProgressiveJpeg(640, 480), false},
        {"d_gif.gif", GifBomb(65535, 65535, 65535, 65535), false},
        {"e_wbmp.wbmp", WbmpBomb(100000, 100000), false},
        {"f_dds.dds", DdsBomb(16384, 16385), false},
        {"g_good.png", RgbaPng(320, 200), false},
        {"h_bomb.jpg", WithFrameSize(ProgressiveJpeg(64, 64), 16001, 16000), false},
        {"i_cut.jpg", AfterSoi(Jpeg(300, 200), app1).substr(0, 30000), true},
        {"k_cut.png", RgbaPng(320, 200).substr(0, 30), true},
        {"l_ico.ico", IcoBomb(30000, 30000, true), false},
        {"m_good.jpg", Jpeg(1001, 999), false},
        {"n_pcx.pcx", PcxBomb(65535, 65535), false},
        {"o_tga.tga", TgaBomb(65535, 65535), false},
        {"p_psd.psd", PsdBomb(30000, 30000), false},
        {"q_good.jpg", Jpeg(300, 400), false},
        {"s_bmp.bmp", BmpBomb(60000, 60000), false},
    };
    for (const char *name : {"0_crash.jpg", "j_crash.jpg", "z_crash.jpg"})
        if (withCrasher)
            files.push_back({name, RunawayRlePsd(), false});
    return files;
}

// Runs the job over the hostile folder and checks, entry by entry in the listing order:
// each good image its row and thumbnail, each bad entry its load-failure box and, only
// for a file the library complains about, the library's boxes before it.
static void CheckHostileFolder(bool withWorkers)
{
    StartProgram();
    TestFolder folder;
    if (!withWorkers)
        UseStandIn("exit");
    std::map<std::string, bool> complains;
    for (const HostileFile &file : HostileFolder(withWorkers)) {
        folder.WriteFile(file.name, file.bytes);
        complains[file.name] = file.complains;
    }
    ASSERT_EQ(0, mkfifo(folder.Path("r_pipe.jpg").c_str(), 0644));

    JobRun run = RunFolder(folder, "*.*");

    const std::string failed = std::string(loadCaption) + " |  | 1";
    const std::string record = std::string(recordCaption) + " |  | 0";
    size_t at = 0;
    std::vector<std::string> rows;
    for (const std::string &name : folder.SearchOrder("*.*")) {
        if (name.find("good") != std::string::npos) {
            if (rows.empty()) {
                EXPECT_EQ(record, at < run.boxes.size() ? run.boxes[at] : "") << name;
                at++;
            }
            rows.push_back(name);
            continue;
        }
        while (complains[name] && at < run.boxes.size() && run.boxes[at].rfind(libraryCaption, 0) == 0)
            at++;
        EXPECT_EQ(failed, at < run.boxes.size() ? run.boxes[at] : "") << name;
        at++;
    }
    EXPECT_EQ(at, run.boxes.size()) << Lines(run.boxes);
    ExpectRowsInOrder(run, rows);
    UseStandIn(NULL);
}

TEST(JobWithWorkers, HostileFolderCostsEachBadFileItsBox)
{
    CheckHostileFolder(true);
}

// Without workers the job decodes in its own process and still refuses the special file
// and the bombs before decoding; a crashing decoder it cannot survive, so those files are
// left out here.
TEST(JobWithoutWorkers, HostileFolderCostsEachBadFileItsBox)
{
    CheckHostileFolder(false);
}

// Worker faults -------------------------------------------------------------------------

// The most this process has had resident so far, in megabytes.
static long PeakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return atol(line.c_str() + 6) / 1024;
    return 0;
}

// Stand-in workers that fail in every way a worker can, on every request. Each job ends
// within the watchdog's time (2 s here) plus a few seconds; the image a worker had begun
// gets its load-failure box, and so does every image held by a worker that never
// answered; every other image gets its row and thumbnail, decoded in this process once
// no worker is left; and this process holds no more than decoding those images takes.
// How many workers get to fail on an image depends on how soon each one is up: at least
// one, at most all of them.
TEST(WorkerFaults, EachCostsTheImagesItHeldAndTheJobEnds)
{
    struct Case { const char *mode; int boxesPerWorker; };
    const Case cases[] = {
        {"exit", 0}, {"silent", 2}, {"stall", 1}, {"garbage", 1}, {"frame1g", 1}, {"frame4g", 1}, {"noceiling", 0},
    };
    const int images = 12;
    StartProgram();
    SetEnvironmentVariableA("FOTOBATCH_WATCHDOG_SECONDS", "2");
    for (const Case &c : cases) {
        TestFolder folder;
        for (int i = 0; i < images; i++)
            folder.WriteFile("p" + std::to_string(10 + i) + ".jpg", Jpeg(320, 240));
        UseStandIn(c.mode);
        long peak = PeakMegabytes();
        DWORD start = GetTickCount();
        JobRun run = RunFolder(folder, "*.jpg");
        DWORD took = GetTickCount() - start;
        int failed = (int)std::count(run.boxes.begin(), run.boxes.end(), std::string(loadCaption) + " |  | 1");
        int rows = RowCount(run.log);
        EXPECT_LE(failed, (std::min)(images, c.boxesPerWorker * Cores())) << c.mode << "\n" << Lines(run.boxes);
        EXPECT_GE(failed, c.boxesPerWorker) << c.mode << "\n" << Lines(run.boxes);
        EXPECT_EQ((size_t)failed + 1, run.boxes.size()) << c.mode << ": only the description dialog besides";
        EXPECT_EQ(images - failed, rows) << c.mode;
        EXPECT_EQ((size_t)rows, run.thumbnails.size()) << c.mode;
        EXPECT_LT(took, 2000u + 5000u) << c.mode;
        EXPECT_LT(PeakMegabytes() - peak, 64) << c.mode;
    }
    SetEnvironmentVariableA("FOTOBATCH_WATCHDOG_SECONDS", NULL);
    UseStandIn(NULL);
}

// Once the workers have answered, a worker that stalls on an image is replaced, as one
// that crashes on one is: each costs that image only, and every image after them is still
// decoded in a worker. Here more images stall than the 3 replacements a job allows other
// failures, before the PSD that crashes FreeImage, which would end this program were it
// decoded here.
TEST(WorkerFaults, AWorkerThatStallsAfterWorkingIsReplaced)
{
    StartProgram();
    SetEnvironmentVariableA("FOTOBATCH_WATCHDOG_SECONDS", "2");
    UseStandIn("stall:_fault");
    TestFolder folder;
    std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
    const int stalls = 3 + 2 * Cores();
    for (int i = 0; i < stalls; i++)
        names.push_back("e" + std::to_string(10 + i) + "_fault.jpg");
    names.insert(names.end(), {"f_crash.jpg", "g.jpg", "h.jpg"});
    for (const std::string &name : names)
        folder.WriteFile(name, name == "f_crash.jpg" ? RunawayRlePsd() : Jpeg(320, 240));
    JobRun run = RunFolder(folder, "*.jpg");
    std::string failed = std::string(loadCaption) + " |  | 1";
    EXPECT_EQ(stalls + 1, (int)std::count(run.boxes.begin(), run.boxes.end(), failed)) << Lines(run.boxes);
    EXPECT_EQ(6, RowCount(run.log)) << run.log;
    EXPECT_EQ(6u, run.thumbnails.size());
    SetEnvironmentVariableA("FOTOBATCH_WATCHDOG_SECONDS", NULL);
    UseStandIn(NULL);
}

// A worker that cannot put itself under its memory ceiling decodes nothing; the job
// decodes in its own process, which shows in this process's memory: a BMP declaring
// 8000 x 8000 takes 192 MB to load wherever it is loaded.
TEST(WorkerFaults, AWorkerWithoutItsCeilingDoesNotDecode)
{
    StartProgram();
    TestFolder folder;
    folder.WriteFile("big.bmp", BmpBomb(8000, 8000));
    for (const char *mode : {(const char *)NULL, "noceiling"}) {
        UseStandIn(mode);
        long peak = PeakMegabytes();
        JobRun run = RunFolder(folder, "*.bmp");
        long grown = PeakMegabytes() - peak;
        EXPECT_NE(std::string::npos, run.log.find("('big.bmp','big.bmp','','8000','8000'")) << run.log;
        if (mode == NULL)
            EXPECT_LT(grown, 64) << "decoded in a worker";
        else
            EXPECT_GT(grown, 120) << "decoded in the job";
    }
    UseStandIn(NULL);
}
