// The status line as the user sees it, read from the main window's top-left pixels only:
// the new text wipes the one before it as far as its blanks reach and leaves the tail of a
// longer one beyond, an ampersand underlines, a repaint puts the working directory back,
// and each caller's text is there while the user can see it.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"

#include "base/base.h"
#include "base/state.h"
#include "res/resource.h"

#include <vector>

static const int areaWidth = 380;
static const int areaHeight = 40;

// The top-left pixels of the main window's client area, as they are on the screen.
static std::vector<COLORREF> ScreenPixels()
{
    std::vector<COLORREF> pixels;
    HDC windowDC = GetDC(mainWindow);
    for (int y = 0; y < areaHeight; y++)
        for (int x = 0; x < areaWidth; x++)
            pixels.push_back(GetPixel(windowDC, x, y));
    ReleaseDC(mainWindow, windowDC);
    return pixels;
}

// Which pixels are not the window's background colour: the ink of the texts.
static std::vector<bool> Ink(const std::vector<COLORREF> &pixels)
{
    std::vector<bool> ink;
    for (COLORREF pixel : pixels)
        ink.push_back(pixel != GetSysColor(COLOR_WINDOW));
    return ink;
}

// Which columns hold any ink.
static std::vector<bool> InkColumns(const std::vector<COLORREF> &pixels)
{
    std::vector<bool> ink = Ink(pixels), columns(areaWidth, false);
    for (int y = 0; y < areaHeight; y++)
        for (int x = 0; x < areaWidth; x++)
            columns[x] = columns[x] || ink[y * areaWidth + x];
    return columns;
}

// The first column from `from` on that holds ink; areaWidth when there is none.
static int InkFrom(const std::vector<bool> &columns, int from)
{
    while (from < areaWidth && !columns[from])
        from++;
    return from;
}

// Where the text that starts at `from` ends: the first of 8 columns in a row without ink,
// wider than the room between two letters.
static int TextEnd(const std::vector<bool> &columns, int from)
{
    int blank = 0;
    for (int x = from; x < areaWidth; x++) {
        blank = columns[x] ? 0 : blank + 1;
        if (blank == 8)
            return x - 7;
    }
    return areaWidth;
}

// The pixels left of a column.
static std::vector<COLORREF> LeftOf(std::vector<COLORREF> pixels, int column)
{
    for (int y = 0; y < areaHeight; y++)
        for (int x = column; x < areaWidth; x++)
            pixels[y * areaWidth + x] = 0;
    return pixels;
}

static std::vector<COLORREF> ShownAfter(const std::string &text)
{
    ShowStatus(text.c_str());
    return ScreenPixels();
}

class StatusLine : public testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        Repaint();
    }
    // A fresh, fully painted window: the working directory at the top left.
    void Repaint()
    {
        InvalidateRect(mainWindow, NULL, TRUE);
        UpdateWindow(mainWindow);
        PumpMessages();
    }
};

// A long text fills the line; a short one after it shows alone where the blanks reach,
// as on a fresh window, and the long one's tail stays beyond until a repaint puts the
// working directory back; an empty text only wipes.
TEST_F(StatusLine, ShortTextAfterALongOneWipesAsFarAsItsBlanksReach)
{
    std::vector<COLORREF> fresh = ScreenPixels();
    const std::string longText(90, 'W');
    EXPECT_EQ(areaWidth, TextEnd(InkColumns(ShownAfter(longText)), 0)) << "W up to the area's edge";
    std::vector<COLORREF> shown = ShownAfter("a.jpg");
    std::vector<bool> columns = InkColumns(shown);
    int textEnd = TextEnd(columns, 0), tailStart = InkFrom(columns, textEnd);
    EXPECT_LT(textEnd, 40) << "a.jpg, then blanks";
    EXPECT_GT(tailStart, textEnd + 100) << "the blanks wipe the long text";
    EXPECT_LT(tailStart, areaWidth) << "the long text's tail stays";
    Repaint();
    EXPECT_EQ(fresh, ScreenPixels());
    EXPECT_EQ(LeftOf(ShownAfter("a.jpg"), tailStart), LeftOf(shown, tailStart));

    ShownAfter(longText);
    EXPECT_EQ(tailStart, InkFrom(InkColumns(ShownAfter("")), 0));
}

// "&W" shows an underlined W where "W" shows a plain one: where it starts, every pixel of
// the plain W, and a line more.
TEST_F(StatusLine, AmpersandUnderlinesTheNextCharacter)
{
    std::vector<COLORREF> plainPixels = ShownAfter("W"), underlinedPixels = ShownAfter("&W");
    EXPECT_EQ(InkFrom(InkColumns(plainPixels), 0), InkFrom(InkColumns(underlinedPixels), 0));
    std::vector<bool> plain = Ink(plainPixels), underlined = Ink(underlinedPixels);
    int lost = 0, more = 0;
    for (size_t i = 0; i < plain.size(); i++) {
        lost += plain[i] && !underlined[i];
        more += underlined[i] && !plain[i];
    }
    EXPECT_EQ(0, lost);
    EXPECT_GT(more, 3);
}

// Whether the status line shows the text: drawing it again changes no pixel.
static bool Shows(const std::string &text)
{
    std::vector<COLORREF> before = ScreenPixels();
    return ShownAfter(text) == before;
}

// Each caller's text, looked at while it is on the screen: in the chooser, the job
// dialog and the name-fix dialog as they open, at the description dialogs of a job
// (its start, then the first image's name), and the working directory again after each
// job's summary.
TEST_F(StatusLine, EveryCallerShowsItsText)
{
    TestFolder photos, names;
    ASSERT_TRUE(SaveTestImage(photos.Path(u8"Фото 1.jpg"), FIF_JPEG, 64, 48));
    ASSERT_TRUE(SaveTestImage(photos.Path(u8"Фото 2.jpg"), FIF_JPEG, 64, 48));
    // an ampersand is shown as it is, not as a mnemonic
    names.MakeDir(u8"Ёлка & Co");
    names.WriteFile(u8"Ёлка & Co/Фото.txt", "");
    std::string fixed = names.winPath + "\\" + Utf8ToAnsi(u8"Ёлка & Co");
    int looked = 0;
    std::vector<std::string> missing;  // the texts that were not there when looked for
    auto look = [&](const std::string &text) {
        looked++;
        if (!Shows(text))
            missing.push_back(AnsiToUtf8(text));
    };
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND chooser) {
        look("Выбор Папки");
        PressNow(chooser, IDC_CANCEL_BUTTON);
    });

    TextCopy(workDir, sizeof workDir, photos.winPath.c_str());
    watch.Then(Steps([&](HWND jobDialog) {
        look("Установки обработки");
        PressNow(jobDialog, IDC_RUN);
    }));
    watch.Then(Steps([&](HWND description) {
        look("Создание файла imagelog.sql и папки thumbnails");
        PressNow(description, IDOK);
    }));
    watch.Then(Steps([&](HWND description) {
        look(photos.SearchOrder("*.jpg")[0]);
        PressNow(description, IDOK);
    }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_THUMBNAILS, 0);
    // after the job's summary the status line shows the working directory again
    look(photos.winPath);

    TextCopy(workDir, sizeof workDir, fixed.c_str());
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND nameFix) {
        look("Фиксим Файлы");
        PressNow(nameFix, IDOK);
    });
    look(fixed);

    EXPECT_EQ(7, looked) << Describe(watch.seen);
    EXPECT_EQ(std::vector<std::string>{}, missing);
}
