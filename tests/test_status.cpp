// The status line: what lands on the main window's top-left pixels must be exactly the
// 70 blanks and then the text, drawn with the device context's defaults and no format
// flags, as on a memory device context of the same size.
#include "gtest_win.h"
#include "fixture.h"

#include "app/app.h"
#include "app/state.h"

#include <string.h>
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
