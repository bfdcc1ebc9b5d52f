// What a person does with the program, from the menu only: choose a folder of photos in
// the chooser, make thumbnails and imagelog.sql through the job and description dialogs,
// then fix the folder's names. Nothing outside that folder may change.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"

#include "base/state.h"
#include "res/resource.h"

TEST(Person, ChoosesAFolderMakesThumbnailsAndFixesNames)
{
    StartProgram();
    TestFolder home;
    home.WriteFile(u8"Не трогать (1).txt", "outside");
    home.MakeDir(u8"Фото Лето");
    ASSERT_TRUE(SaveTestImage(home.Path(u8"Фото Лето/Море 1.JPG"), FIF_JPEG, 800, 600));
    ASSERT_TRUE(SaveTestImage(home.Path(u8"Фото Лето/Пляж.jpg"), FIF_JPEG, 300, 400));
    // the chooser was last left in the home folder
    TextCopy(browseSpec, sizeof browseSpec, (home.winPath + "\\*.*").c_str());
    const std::string photos = "Фото Лето";  // as the program sees it, in Windows-1251

    BoxWatch watch;
    watch.Then(Steps([&](HWND jobDialog) {
        watch.Then(Steps([&](HWND chooser) {
            EXPECT_TRUE(DoubleClickEntry(chooser, IDC_DIR_LIST, "[" + photos + "]"))
                << AnsiToUtf8(testing::PrintToString(ListEntries(chooser, IDC_DIR_LIST)));
            ClickNow(chooser, IDC_DIR_OPEN);
        }));
        ClickNow(jobDialog, IDC_JOB_OPEN);
        SetField(jobDialog, IDC_SIZE_FIELD, "200");
        watch.Then(Steps([&](HWND description) {
            SetField(description, IDC_REC_COMMENTARY, "Лето на море");
            SetField(description, IDC_REC_SEC_ID, "7");
            ClickNow(description, IDC_REC_DEFAULT);
        }));
        PressNow(jobDialog, IDC_RUN);
    }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_THUMBNAILS, 0);

    ASSERT_EQ(3u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("Properties image processing", watch.seen[0].caption);
    EXPECT_EQ("Open Directory", watch.seen[1].caption);
    EXPECT_EQ(0, watch.unanswered);
    const std::string folder = u8"Фото Лето/";
    EXPECT_EQ((std::vector<std::string>{u8"Море 1_small.jpg", u8"Пляж_small.jpg"}),
              home.List(folder + "thumbnails"));
    EXPECT_EQ((PixelSize{200, 150}), ImageFileSize(home.Path(folder + u8"thumbnails/Море 1_small.jpg")));
    std::string log = home.ReadFile(folder + "imagelog.sql");
    EXPECT_EQ(2, std::count(log.begin(), log.end(), '\n')) << AnsiToUtf8(log);
    EXPECT_NE(std::string::npos, log.find("'Море 1.JPG','Море 1.JPG','Лето на море','800','600'"))
        << AnsiToUtf8(log);
    EXPECT_NE(std::string::npos, log.find("'Пляж.jpg','Пляж.jpg','Лето на море','300','400'"))
        << AnsiToUtf8(log);

    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND nameFix) {
        EXPECT_EQ(std::string(workDir), ControlText(nameFix, IDC_FIX_DIR));
        PressNow(nameFix, IDOK);
    });

    EXPECT_EQ((std::vector<std::string>{"imagelog.sql", "more_1.jpg", "pljj.jpg", "thumbnails"}),
              home.List(folder));
    // the thumbnails folder is not entered, and the home folder is outside the walk
    EXPECT_EQ((std::vector<std::string>{u8"Море 1_small.jpg", u8"Пляж_small.jpg"}),
              home.List(folder + "thumbnails"));
    EXPECT_EQ((std::vector<std::string>{u8"Не трогать (1).txt", u8"Фото Лето"}), home.List());
    EXPECT_EQ("outside", home.ReadFile(u8"Не трогать (1).txt"));
    EXPECT_EQ(4u, watch.seen.size()) << Describe(watch.seen);
}
