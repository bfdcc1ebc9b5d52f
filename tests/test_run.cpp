// What one run of the program keeps across its jobs: the date stamp of its start-up in
// every row of every job, and a chooser that, opened after a job, lists its folder.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"
#include "jobs.h"

#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <algorithm>

static SYSTEMTIME clockReads;

static void WINAPI FixedClock(SYSTEMTIME *moment)
{
    *moment = clockReads;
}

// Every `date` value of a log, in order.
static std::vector<std::string> Dates(const std::string &log)
{
    std::vector<std::string> dates;
    for (size_t line = 0, end; (end = log.find('\n', line)) != std::string::npos; line = end + 1) {
        // the seventh value, after the size: name, img_name, commentary, width, height, size, date
        size_t at = log.find("VALUES (", line);
        for (int value = 0; value < 6 && at < end; value++)
            at = log.find("','", at + 1);
        size_t stop = log.find("','", at + 3);
        dates.push_back(at < end && stop < end ? log.substr(at + 3, stop - at - 3) : "?");
    }
    return dates;
}

// Two jobs a minute apart, started from a run whose start-up read 2031-01-02 04:05:06:
// every row of both carries that moment, not the time of its job or its image.
TEST(Run, OneDateForEveryRowOfEveryJob)
{
    StartProgram();
    TestFolder folder;
    ASSERT_TRUE(SaveTestImage(folder.Path("a.jpg"), FIF_JPEG, 64, 48));
    ASSERT_TRUE(SaveTestImage(folder.Path("b.jpg"), FIF_JPEG, 48, 64));
    readLocalClock = FixedClock;
    clockReads = {2031, 1, 4, 2, 4, 5, 6, 0};
    BuildDateStamp();  // as at start-up
    std::vector<std::string> logs;
    for (WORD minute : {7, 8}) {
        clockReads.wMinute = minute;
        BoxWatch watch;
        watch.Then(Press(IDC_REC_DEFAULT));
        RunThumbnailJob(folder.winPath);
        logs.push_back(folder.ReadFile("imagelog.sql"));
    }
    readLocalClock = GetLocalTime;
    const std::vector<std::string> once(2, "2031-1-2 4:5:6");
    for (const std::string &log : logs)
        EXPECT_EQ(once, Dates(log)) << log;
}

// After a job the chooser lists the job's folder, whatever it listed before.
TEST(Run, ChooserOpenedAfterAJobListsItsFolder)
{
    StartProgram();
    TestFolder top;
    top.MakeDir("elsewhere");
    top.MakeDir("photos");
    top.MakeDir("photos/inner");
    ASSERT_TRUE(SaveTestImage(top.Path("photos/p.jpg"), FIF_JPEG, 64, 48));
    TextCopy(browseSpec, sizeof browseSpec, (top.winPath + "\\elsewhere\\*.*").c_str());
    std::vector<std::string> paths;
    std::vector<std::vector<std::string>> lists;
    auto look = [&](HWND chooser) {
        paths.push_back(ControlText(chooser, IDC_DIR_PATH));
        lists.push_back(ListEntries(chooser, IDC_DIR_LIST));
        PressNow(chooser, IDC_CANCEL_BUTTON);
    };
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, look);

    watch.Then(Press(IDC_REC_DEFAULT));
    RunThumbnailJob(top.winPath + "\\photos");
    OpenFromMenu(watch, IDM_SELECT_DIR, look);

    ASSERT_EQ(2u, paths.size()) << Describe(watch.seen);
    std::string photos = top.winPath + "\\photos";
    std::transform(photos.begin(), photos.end(), photos.begin(), ::tolower);
    EXPECT_NE(photos, paths[0]);
    EXPECT_EQ(photos, paths[1]);
    for (const char *entry : {"[inner]", "[thumbnails]"}) {
        EXPECT_EQ(lists[0].end(), std::find(lists[0].begin(), lists[0].end(), entry)) << entry;
        EXPECT_NE(lists[1].end(), std::find(lists[1].begin(), lists[1].end(), entry)) << entry;
    }
}
