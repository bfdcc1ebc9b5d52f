// The name-fix dialog opened from "&File name FIX": FIX renames the entries of workDir,
// Open changes workDir through the chooser, and what is typed into the box is ignored.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"

#include "base/state.h"
#include "res/resource.h"

#include <algorithm>

class NameFixDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        folder.WriteFile(u8"Фото Отпуск.JPG", "jpeg");
        folder.MakeDir(u8"Лето (2026)");
    }
    TestFolder folder;
    const std::vector<std::string> fixed = {"foto_otpusk.jpg", "leto__2026_"};
    const std::vector<std::string> untouched = {u8"Лето (2026)", u8"Фото Отпуск.JPG"};
};

TEST_F(NameFixDialog, EnterRightAfterOpeningFixesWorkDirAndIgnoresTypedText)
{
    TestFolder typed;
    typed.WriteFile(u8"Фото Отпуск.JPG", "jpeg");
    TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
    BoxWatch watch;
    std::string shown;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) {
        shown = ControlText(dialog, IDC_FIX_DIR);
        EXPECT_EQ(GetDlgItem(dialog, IDOK), GetFocus()) << "FIX has the focus";
        SetField(dialog, IDC_FIX_DIR, typed.winPath);  // never read
        PostKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(folder.winPath, shown);
    EXPECT_EQ(fixed, folder.List());
    EXPECT_EQ(std::vector<std::string>{u8"Фото Отпуск.JPG"}, typed.List());
    EXPECT_EQ(folder.winPath, workDir);
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("File FIX", watch.seen[0].caption);
    EXPECT_EQ(mainWindow, watch.seen[0].owner);
}

TEST_F(NameFixDialog, CancelAndEscLeaveEveryEntryAsItWas)
{
    TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
    BoxWatch watch;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) { PressNow(dialog, IDCANCEL); });
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) { PostKey(dialog, VK_ESCAPE); });
    EXPECT_EQ(untouched, folder.List());
    EXPECT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
}

TEST_F(NameFixDialog, OpenChoosesTheDirectoryThatFixWalks)
{
    TextCopy(browseSpec, sizeof browseSpec, (folder.winPath + "\\*.*").c_str());
    BoxWatch watch;
    std::string shown;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) {
        watch.Then(Steps([&](HWND chooser) {
            // the chooser belongs to this dialog, so FIX cannot run while it is open
            EXPECT_EQ(dialog, GetWindow(chooser, GW_OWNER));
            EXPECT_FALSE(IsWindowEnabled(dialog));
            PressNow(chooser, IDC_DIR_OPEN);
        }));
        ClickNow(dialog, IDC_FIX_OPEN);
        shown = ControlText(dialog, IDC_FIX_DIR);
        PressNow(dialog, IDOK);
    });
    EXPECT_EQ(folder.winPath, shown);
    EXPECT_EQ(folder.winPath, workDir);
    EXPECT_EQ(fixed, folder.List());
}

TEST_F(NameFixDialog, ChooserCancelShowsWorkDirAgainOverTypedText)
{
    BoxWatch watch;
    std::string shown;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) {
        SetField(dialog, IDC_FIX_DIR, "typed");
        watch.Then(Press(IDC_CANCEL_BUTTON));
        ClickNow(dialog, IDC_FIX_OPEN);
        shown = ControlText(dialog, IDC_FIX_DIR);
        PressNow(dialog, IDCANCEL);
    });
    EXPECT_EQ("C:\\", shown);
    EXPECT_STREQ("C:\\", workDir);
}

TEST_F(NameFixDialog, MissingWorkDirIsNamedAndNoSecondJobCanStartMeanwhile)
{
    // a walk on a directory that is gone renames nothing, not even in the current
    // directory, and stops with a box that has no owner; while it is open the main
    // window, and with it its menu, stays disabled
    std::string missing = folder.winPath + "\\gone";
    TextCopy(workDir, sizeof workDir, missing.c_str());
    SetCurrentDirectoryA(folder.winPath.c_str());
    BoxWatch watch;
    bool enabledDuringJob = true;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) {
        watch.Then([&](HWND box) {
            enabledDuringJob = IsWindowEnabled(mainWindow);
            PressNow(box, IDOK);
        });
        PressNow(dialog, IDOK);
    });
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_TRUE(watch.seen[1].messageBox);
    EXPECT_EQ("Error", watch.seen[1].caption);
    EXPECT_NE(std::string::npos, watch.seen[1].text.find(missing)) << AnsiToUtf8(watch.seen[1].text);
    EXPECT_EQ(ICON_INFORMATION, watch.seen[1].icon);
    EXPECT_EQ(NULL, watch.seen[1].owner);
    EXPECT_FALSE(enabledDuringJob);
    EXPECT_TRUE(IsWindowEnabled(mainWindow)) << "enabled again when the job returns";
    EXPECT_EQ(untouched, folder.List());
}

static BOOL CALLBACK CollectText(HWND control, LPARAM texts)
{
    char text[1024] = "";
    GetWindowTextA(control, text, sizeof text);
    ((std::vector<std::string> *)texts)->push_back(text);
    return TRUE;
}

TEST_F(NameFixDialog, MatrixShowsTheTransliterationTable)
{
    BoxWatch watch;
    std::vector<std::string> texts;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND dialog) {
        EnumChildWindows(dialog, CollectText, (LPARAM)&texts);
        PressNow(dialog, IDCANCEL);
    });
    // the first 75 pairs of the transliteration, sources above and replacements below
    const char *labels[] = {
        "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁЄЇўабвгдежзийклмнопрстуфхцчшщъыьэюяёєїЎ ()\n"
        "abvgdejziyklmnoprstufhccss___eujeeiyabvgdejziyklmnoprstufhccss___eujeeiy___",
        "Directory find (c:\\):",
        "Внимание установлена маска поиска файлов \"*.*\", каталоги тоже будут переименованы.",
    };
    for (const char *label : labels)
        EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), label)) << AnsiToUtf8(label);
}
