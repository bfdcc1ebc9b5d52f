// What a running job shows: the description dialog's picture of the thumbnail, against the
// saved file; FIX's progress window and its Cancel.
#include "gtest_win.h"
#include "boxwatch.h"
#include "fixture.h"
#include "hostile.h"
#include "images.h"
#include "jobprobe.h"
#include "jobs.h"
#include "dialogs.h"

#include "base/progress.h"
#include "base/state.h"
#include "namefix/namefix.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <algorithm>
#include <set>

// What the dialog drew into its preview control, 32-bit pixels top-down.
struct Drawn {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[(size_t)y * width + x] & 0xFFFFFF; }
};

static Drawn DrawnPreview(HWND dialog)
{
    HWND control = GetDlgItem(dialog, IDC_REC_PREVIEW);
    RECT room;
    GetClientRect(control, &room);
    Drawn drawn;
    drawn.width = room.right;
    drawn.height = room.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = drawn.width;
    info.bmiHeader.biHeight = -drawn.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP section = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ before = SelectObject(dc, section);
    SendMessageA(control, WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT);
    GdiFlush();
    drawn.pixels.assign((DWORD *)bits, (DWORD *)bits + (size_t)drawn.width * drawn.height);
    SelectObject(dc, before);
    DeleteDC(dc);
    DeleteObject(section);
    return drawn;
}

// A file's pixel as the dialog's background shows it through its transparency, 0x00RRGGBB.
static DWORD OverBackground(const BYTE *pixel)
{
    COLORREF back = GetSysColor(COLOR_BTNFACE);
    auto blend = [&](int value, int under) { return (value * pixel[FI_RGBA_ALPHA] + under * (255 - pixel[FI_RGBA_ALPHA]) + 127) / 255; };
    return (DWORD)(blend(pixel[FI_RGBA_RED], GetRValue(back)) << 16 | blend(pixel[FI_RGBA_GREEN], GetGValue(back)) << 8 |
                   blend(pixel[FI_RGBA_BLUE], GetBValue(back)));
}

// Compares the drawn preview with the saved thumbnail at a grid of points.
static void ExpectPreviewIsFile(const Drawn &drawn, const std::string &unixPath, const std::string &what)
{
    FIBITMAP *file = FreeImage_Load(FreeImage_GetFileType(unixPath.c_str(), 0), unixPath.c_str(), 0);
    ASSERT_NE(nullptr, file) << what;
    FIBITMAP *pixels = FreeImage_ConvertTo32Bits(file);
    int width = (int)FreeImage_GetWidth(pixels), height = (int)FreeImage_GetHeight(pixels);
    int left = (drawn.width - width) / 2, top = (drawn.height - height) / 2;
    int differ = 0;
    for (int y = 0; y < height; y += (height > 9 ? height / 9 : 1))
        for (int x = 0; x < width; x += (width > 9 ? width / 9 : 1)) {
            const BYTE *pixel = FreeImage_GetScanLine(pixels, height - 1 - y) + 4 * x;
            differ += drawn.At(left + x, top + y) != OverBackground(pixel);
        }
    EXPECT_EQ(0, differ) << what;
    // the room around the picture is the dialog's background
    DWORD back = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ((DWORD)(GetRValue(back) << 16 | GetGValue(back) << 8 | GetBValue(back)), drawn.At(0, 0)) << what;
    FreeImage_Unload(pixels);
    FreeImage_Unload(file);
}

static std::string Encoded(FIBITMAP *picture, FREE_IMAGE_FORMAT format, int flags = 0)
{
    std::string bytes = Encode(picture, format, flags);
    FreeImage_Unload(picture);
    return bytes;
}

// Every kind of bitmap a job can hold, each under two names in a folder of its own: the
// picture beside each description dialog is the file that was saved for that entry (a
// float one, saved as HDR, tone-mapped for display), and under it stand the thumbnail's
// size and "n of 2".
TEST(Preview, ShowsTheThumbnailThatIsSaved)
{
    StartProgram();
    FIBITMAP *colour = Picture(320, 200);
    struct Case { const char *what, *extension; std::string bytes; const char *size, *suffix = "_small.png"; };
    const std::vector<Case> cases = {
        {"landscape", ".jpg", Encode(colour, FIF_JPEG, 90), "150 x 94"},
        {"portrait", ".jpg", Encoded(Picture(200, 320), FIF_JPEG, 90), "94 x 150"},
        {"turned by Exif", ".jpg", OrientedJpeg(colour, 3, 1, 6, true), "94 x 150"},
        {"grey", ".png", Encoded(FreeImage_ConvertToGreyscale(colour), FIF_PNG), "150 x 94"},
        {"RGBA", ".png", Encoded(Picture(320, 200, 32), FIF_PNG), "150 x 94"},
        {"palette", ".gif", Encoded(FreeImage_ColorQuantize(colour, FIQ_WUQUANT), FIF_GIF), "150 x 94"},
        {"1-bit", ".bmp", Encoded(FreeImage_Threshold(colour, 128), FIF_BMP), "150 x 94"},
        {"small: never enlarged", ".png", Encoded(Picture(40, 30), FIF_PNG), "40 x 30"},
        {"float", ".hdr", Encoded(FreeImage_ConvertToRGBF(colour), FIF_HDR), "150 x 94", "_small.hdr"},
    };
    FreeImage_Unload(colour);
    for (const Case &c : cases) {
        TestFolder folder;
        for (const char *name : {"p1", "p2"})
            folder.WriteFile(name + std::string(c.extension), c.bytes);
        std::vector<std::string> order = folder.SearchOrder(std::string("*") + c.extension);
        std::vector<Drawn> drawn;
        std::vector<std::string> info;
        BoxWatch watch;
        for (int i = 0; i < 2; i++)
            watch.Then(Steps([&](HWND dialog) {
                drawn.push_back(DrawnPreview(dialog));
                info.push_back(ControlText(dialog, IDC_REC_PREVIEW_INFO));
                PressNow(dialog, IDOK);
            }));
        RunThumbnailJob(folder.winPath, std::string("*") + c.extension, c.suffix);
        ASSERT_EQ(2u, drawn.size()) << c.what << Describe(watch.seen);
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(std::string(c.size) + ", " + std::to_string(i + 1) + " of 2", info[i]) << c.what;
            if (std::string(c.extension) != ".hdr") {
                ExpectPreviewIsFile(drawn[i], folder.Path("thumbnails/" + order[i].substr(0, 2) + c.suffix), c.what);
                continue;
            }
            // the float file's ramp, not the bare background and not one colour
            std::set<DWORD> colours;
            for (int x = 0; x < 150; x += 10)
                colours.insert(drawn[i].At((drawn[i].width - 150) / 2 + x, drawn[i].height / 2));
            EXPECT_GT(colours.size(), 5u) << c.what;
        }
    }
}

// FIX over 20,000 names, cancelled through its progress window as soon as its bar moves
// (the walk is quick: a later press could come after its end): the main window answers
// throughout, and every photo stands under exactly one name, the renamed
// ones counted in the summary.
TEST(Progress, FixCancelledMidwayLosesNoName)
{
    StartProgram();
    TestFolder folder;
    const int count = 20000;
    for (int i = 0; i < count; i++)
        folder.WriteFile(u8"Снимок " + std::to_string(i) + ".JPG", std::to_string(i));
    TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
    BoxWatch watch;
    JobProbe probe(1);
    FixThroughMenu(watch);
    probe.Stop();

    EXPECT_EQ(0, probe.unanswered) << "of " << probe.probes;
    ASSERT_NE(0u, probe.cancelTick) << "the walk ended before its bar moved";
    EXPECT_EQ(count, probe.barTotal);
    int renamed = 0;
    std::vector<std::string> contents;
    for (const std::string &name : folder.List()) {
        renamed += name.compare(0, 7, "snimok_") == 0;
        contents.push_back(folder.ReadFile(name));
    }
    std::sort(contents.begin(), contents.end());
    std::vector<std::string> expected;
    for (int i = 0; i < count; i++)
        expected.push_back(std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, contents);
    EXPECT_GT(renamed, 0);
    EXPECT_LT(renamed, count);
    ASSERT_EQ(1u, watch.summaries.size()) << Describe(watch.seen);
    EXPECT_EQ(0u, watch.summaries[0].text.find("Задание остановлено (Отмена).\nПереименовано: " +
                                                std::to_string(renamed) + "\nБез изменений: 0\n"))
        << AnsiToUtf8(watch.summaries[0].text);
}
