// The status line: what lands on the main window's top-left pixels must be exactly the
// 70 blanks and then the text, drawn with the device context's defaults and no format
// flags, as on a memory device context of the same size; and every caller's text is
// there while the user can see it.
#include "gtest_win.h"
#include "boxwatch.h"
#include "fixture.h"
#include "images.h"

#include "base/base.h"
#include "base/state.h"
#include "res/resource.h"

#include <string.h>
#include <algorithm>
#include <vector>

static const int areaWidth = 380;
static const int areaHeight = 40;

// The top-left pixels of the main window's client area, as they are on the screen.
static std::vector<DWORD> ScreenPixels()
{
    HDC windowDC = GetDC(mainWindow);
    HDC memoryDC = CreateCompatibleDC(windowDC);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDC, areaWidth, areaHeight);
    HGDIOBJ old = SelectObject(memoryDC, bitmap);
    BitBlt(memoryDC, 0, 0, areaWidth, areaHeight, windowDC, 0, 0, SRCCOPY);
    SelectObject(memoryDC, old);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = areaWidth;
    info.bmiHeader.biHeight = -areaHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(areaWidth * areaHeight);
    GetDIBits(memoryDC, bitmap, 0, areaHeight, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memoryDC);
    ReleaseDC(mainWindow, windowDC);
    return pixels;
}

// The same texts drawn on a memory device context over the window colour.
static std::vector<DWORD> ReferencePixels(const std::vector<std::string> &texts)
{
    HDC screenDC = GetDC(NULL);
    HDC memoryDC = CreateCompatibleDC(screenDC);
    RECT clientRect;
    GetClientRect(mainWindow, &clientRect);
    HBITMAP bitmap = CreateCompatibleBitmap(screenDC, clientRect.right, clientRect.bottom);
    HGDIOBJ old = SelectObject(memoryDC, bitmap);
    FillRect(memoryDC, &clientRect, (HBRUSH)(COLOR_WINDOW + 1));
    for (const std::string &text : texts) {
        RECT rect = clientRect;
        DrawTextA(memoryDC, text.c_str(), (int)text.size(), &rect, 0);
    }
    SelectObject(memoryDC, old);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = clientRect.right;
    info.bmiHeader.biHeight = -clientRect.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> all(clientRect.right * clientRect.bottom);
    GetDIBits(memoryDC, bitmap, 0, clientRect.bottom, all.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memoryDC);
    ReleaseDC(NULL, screenDC);
    std::vector<DWORD> pixels;
    for (int y = 0; y < areaHeight; y++)
        for (int x = 0; x < areaWidth; x++)
            pixels.push_back(all[y * clientRect.right + x] & 0xFFFFFF);
    return pixels;
}

static std::vector<DWORD> Masked(std::vector<DWORD> pixels)
{
    for (DWORD &pixel : pixels)
        pixel &= 0xFFFFFF;
    return pixels;
}

static int Differences(const std::vector<DWORD> &a, const std::vector<DWORD> &b)
{
    int count = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        count += a[i] != b[i];
    return count;
}

class StatusLine : public testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        // a fresh, fully painted window: the working directory at the top left
        InvalidateRect(mainWindow, NULL, TRUE);
        UpdateWindow(mainWindow);
        PumpMessages();
    }
};

static const std::string blanks(70, ' ');

TEST_F(StatusLine, WipesWithBlanksThenDrawsTheText)
{
    std::vector<DWORD> before = Masked(ScreenPixels());
    EXPECT_EQ(0, Differences(before, ReferencePixels({workDir})));

    ShowStatus("Выбор Папки");
    std::vector<DWORD> shown = Masked(ScreenPixels());
    EXPECT_EQ(0, Differences(shown, ReferencePixels({workDir, blanks, "Выбор Папки"})));
    EXPECT_NE(0, Differences(shown, before));
}

TEST_F(StatusLine, AmpersandUnderlinesTheNextCharacter)
{
    ShowStatus("Tom & Jerry&&Co.jpg");
    std::vector<DWORD> shown = Masked(ScreenPixels());
    EXPECT_EQ(0, Differences(shown, ReferencePixels({workDir, blanks, "Tom & Jerry&&Co.jpg"})));
    // drawn with the prefix rule, not as the bytes stand
    EXPECT_NE(0, Differences(shown, ReferencePixels({workDir, blanks, "Tom  Jerry&Co.jpg"})));
}

TEST_F(StatusLine, ShorterTextLeavesTheTailOfALongerOneAndEmptyOnlyWipes)
{
    std::string longText(90, 'W');
    ShowStatus(longText.c_str());
    ShowStatus("a.jpg");
    std::vector<DWORD> shown = Masked(ScreenPixels());
    EXPECT_EQ(0, Differences(shown, ReferencePixels({workDir, longText, blanks, "a.jpg"})));

    ShowStatus("");
    EXPECT_EQ(0, Differences(Masked(ScreenPixels()),
                             ReferencePixels({workDir, longText, blanks, "a.jpg", blanks})));
}

TEST_F(StatusLine, RepaintPutsTheWorkingDirectoryBack)
{
    ShowStatus("Запись файла imagelog.sql");
    InvalidateRect(mainWindow, NULL, TRUE);
    UpdateWindow(mainWindow);
    EXPECT_EQ(0, Differences(Masked(ScreenPixels()), ReferencePixels({workDir})));
}

// How many pixels of the status line differ from the blanks and the text drawn there:
// the part of the line that they cover, whatever had been drawn before.
static int StatusDifferences(const std::string &text)
{
    std::vector<DWORD> screen = Masked(ScreenPixels());
    std::vector<DWORD> drawn = ReferencePixels({blanks, text});
    HDC dc = GetDC(mainWindow);
    RECT textRect = {0, 0, 0, 0}, blankRect = {0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), (int)text.size(), &textRect, DT_CALCRECT);
    DrawTextA(dc, blanks.c_str(), (int)blanks.size(), &blankRect, DT_CALCRECT);
    ReleaseDC(mainWindow, dc);
    int width = (std::min)(areaWidth, (int)(std::max)(textRect.right, blankRect.right));
    int height = (std::min)(areaHeight, (int)(std::max)(textRect.bottom, blankRect.bottom));
    int count = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            count += screen[y * areaWidth + x] != drawn[y * areaWidth + x];
    return count;
}

// Each caller's text, looked at while it is on the screen: in the chooser, the job
// dialog and the name-fix dialog as they open, at the description dialogs of a job
// (its start, then the first image's name), after the job, and after the name fix.
TEST_F(StatusLine, EveryCallerShowsItsText)
{
    TestFolder photos, names;
    ASSERT_TRUE(SaveTestImage(photos.Path(u8"Фото 1.jpg"), FIF_JPEG, 64, 48));
    ASSERT_TRUE(SaveTestImage(photos.Path(u8"Фото 2.jpg"), FIF_JPEG, 64, 48));
    names.WriteFile(u8"Ёлка & Co.txt", "");
    std::vector<std::string> shown;    // the texts expected, in the order they are looked at
    std::vector<int> differences;
    auto look = [&](const std::string &text) {
        shown.push_back(text);
        differences.push_back(StatusDifferences(text));
    };
    BoxWatch watch;
    watch.Then(Steps([&](HWND chooser) {
        look("Выбор Папки");
        PressNow(chooser, IDC_CANCEL_BUTTON);
    }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_SELECT_DIR, 0);

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

    TextCopy(workDir, sizeof workDir, names.winPath.c_str());
    std::string lastFound = names.SearchOrder("*.*").back();
    watch.Then(Steps([&](HWND nameFix) {
        look("Фиксим Файлы");
        PressNow(nameFix, IDOK);
    }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_NAME_FIX, 0);
    look(lastFound);

    EXPECT_EQ(Utf8ToAnsi(u8"Ёлка & Co.txt"), lastFound) << "the walk's last entry";
    EXPECT_EQ(7u, shown.size()) << Describe(watch.seen);
    for (size_t i = 0; i < shown.size(); i++)
        EXPECT_EQ(0, differences[i]) << AnsiToUtf8(shown[i]);
}
