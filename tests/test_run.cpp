// What one run of the program keeps across its jobs: the date stamp of its start-up in
// every row of every job, and a chooser that, opened after a job, lists its folder.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"
#include "jobs.h"
#include "program.h"

#include "base/progress.h"
#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <algorithm>
#include <stdio.h>

// The stamp of start-up, as the rows carry it.
TEST(DateStamp, NumbersWithoutLeadingZeros)
{
    // year, month, day of the week, day, hour, minute, second, millisecond
    const struct { SYSTEMTIME moment; const char *expected; } cases[] = {
        {{2027, 1, 2, 5, 9, 3, 7, 0}, "2027-1-5 9:3:7"},
        {{2026, 12, 4, 31, 23, 59, 59, 999}, "2026-12-31 23:59:59"},
        {{2026, 1, 4, 1, 0, 0, 0, 0}, "2026-1-1 0:0:0"},
    };
    for (const auto &c : cases) {
        char text[PATH_CAP];
        FormatDateStamp(&c.moment, text, sizeof text);
        EXPECT_STREQ(c.expected, text);
    }
}

// A moment in whole seconds.
static ULONGLONG Seconds(const SYSTEMTIME &moment)
{
    FILETIME time;
    SystemTimeToFileTime(&moment, &time);
    return (((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime) / 10000000;
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

// The program, started as a person starts it, stamps the run once, at start-up: two jobs
// of two images, each answered a second and more after the last, all carry the moment
// the program started.
TEST(Run, EveryRowOfEveryJobCarriesTheMomentOfStartUp)
{
    TestFolder folder;
    ASSERT_TRUE(SaveTestImage(folder.Path("a.jpg"), FIF_JPEG, 64, 48));
    ASSERT_TRUE(SaveTestImage(folder.Path("b.jpg"), FIF_JPEG, 48, 64));
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    StartedProgram program;
    GetLocalTime(&after);
    ASSERT_NE(nullptr, program.window);
    std::vector<std::string> dates;
    for (int job = 0; job < 2; job++) {
        PostMessageA(program.window, WM_COMMAND, IDM_THUMBNAILS, 0);
        HWND jobDialog = program.WaitForWindow("Properties image processing");
        ASSERT_NE(nullptr, jobDialog);
        SetDlgItemTextA(jobDialog, IDC_JOB_DIR, folder.winPath.c_str());
        PostMessageA(jobDialog, WM_COMMAND, IDC_RUN, 0);
        for (int image = 0; image < 2; image++) {
            HWND description = program.WaitForWindow("Установка описаний файлов для сайта example.org");
            ASSERT_NE(nullptr, description) << "job " << job << ", image " << image;
            Sleep(1100);
            PostMessageA(description, WM_COMMAND, IDOK, 0);
            ASSERT_TRUE(WaitUntilClosed(description));
        }
        std::vector<std::string> rows;
        for (int waited = 0; (rows = Dates(folder.ReadFile("imagelog.sql"))).size() < 2 && waited < 20000; waited += 50)
            Sleep(50);
        dates.insert(dates.end(), rows.begin(), rows.end());
        // the job ends with its summary
        HWND summary = program.WaitForWindow(SUMMARY_CAPTION);
        ASSERT_NE(nullptr, summary);
        PostMessageA(summary, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntilClosed(summary));
    }
    ASSERT_EQ(4u, dates.size());
    for (const std::string &date : dates)
        EXPECT_EQ(dates[0], date);
    // year-month-day hour:minute:second without leading zeros, between start and window
    SYSTEMTIME stamp = {};
    char again[64] = "";
    sscanf(dates[0].c_str(), "%hu-%hu-%hu %hu:%hu:%hu", &stamp.wYear, &stamp.wMonth, &stamp.wDay, &stamp.wHour,
           &stamp.wMinute, &stamp.wSecond);
    snprintf(again, sizeof again, "%u-%u-%u %u:%u:%u", stamp.wYear, stamp.wMonth, stamp.wDay, stamp.wHour,
             stamp.wMinute, stamp.wSecond);
    EXPECT_EQ(dates[0], again);
    EXPECT_LE(Seconds(before), Seconds(stamp)) << dates[0];
    EXPECT_GE(Seconds(after), Seconds(stamp)) << dates[0];
    PostMessageA(program.window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0, program.ExitCode());
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
    BoxWatch watch;
    ChooserSeen before = OpenChooser(watch, IDC_CANCEL_BUTTON);
    watch.Then(Press(IDC_REC_DEFAULT));
    RunThumbnailJob(top.winPath + "\\photos");
    ChooserSeen after = OpenChooser(watch, IDC_CANCEL_BUTTON);

    std::string photos = top.winPath + "\\photos";
    std::transform(photos.begin(), photos.end(), photos.begin(), ::tolower);
    EXPECT_NE(photos, before.path);
    EXPECT_EQ(photos, after.path) << Describe(watch.seen);
    for (const char *entry : {"[inner]", "[thumbnails]"}) {
        EXPECT_FALSE(Has(before.entries, entry)) << entry;
        EXPECT_TRUE(Has(after.entries, entry)) << entry;
    }
}
