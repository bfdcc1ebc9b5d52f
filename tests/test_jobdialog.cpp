// The thumbnail job dialog opened from "&Thumbnails!": the size rules of "Run!", what the
// fields show and take over, and "Open" with the directory chooser.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"

#include "base/state.h"
#include "res/resource.h"

#include <algorithm>
#include <string.h>

class JobDialog : public ::testing::Test {
protected:
    void SetUp() override { StartProgram(); }
    TestFolder folder;  // an empty folder: the batch finds nothing to do there
};

struct SizeCase { const char *text; bool accepted; int size; };

TEST_F(JobDialog, RunAcceptsOnlySizesFrom10To65536)
{
    const SizeCase cases[] = {
        {"150", true, 150},
        {"10", true, 10},
        {"65536", true, 65536},
        {"1200px", true, 1200},      // the number ends at the first non-digit
        {"  \t42", true, 42},        // leading blanks are skipped
        {"+20", true, 20},
        {"9", false, 9},
        {"65537", false, 65537},
        {"0", false, 0},
        {"-150", false, -150},
        {"", false, 0},
        {"abc", false, 0},
        {"4294967446", false, 2147483647},             // 2^32 + 150 must not wrap round to 150
        {"-4294967146", false, -2147483647 - 1},       // nor -(2^32 - 150) to 150
        {"99999999999999999999999", false, 2147483647},
    };
    for (const SizeCase &c : cases) {
        StartProgram();
        BoxWatch watch;
        bool stillOpen = false;
        OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
            SetField(dialog, IDC_SIZE_FIELD, c.text);
            SetField(dialog, IDC_MASK_FIELD, "*.png");
            SetField(dialog, IDC_JOB_DIR, folder.winPath);
            ClickNow(dialog, IDC_RUN);
            stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            if (stillOpen) {
                EXPECT_EQ(c.text, ControlText(dialog, IDC_SIZE_FIELD)) << "fields stay as typed";
                PressNow(dialog, IDC_CANCEL_BUTTON);
            }
        });
        EXPECT_EQ(c.size, thumbSize) << "size text '" << c.text << "'";
        if (c.accepted) {
            EXPECT_FALSE(stillOpen) << c.text;
            EXPECT_STREQ("*.png", findMask) << c.text;
            EXPECT_EQ(folder.winPath, workDir);
            continue;
        }
        EXPECT_TRUE(stillOpen) << c.text;
        ASSERT_EQ(2u, watch.seen.size()) << c.text << ": " << Describe(watch.seen);
        const SeenBox &warning = watch.seen[1];
        EXPECT_TRUE(warning.messageBox);
        EXPECT_EQ("Error", warning.caption);
        EXPECT_EQ("Error!\nNew images size:10-65536", warning.text);
        EXPECT_EQ(ICON_WARNING, warning.icon);
        EXPECT_EQ(watch.seen[0].window, warning.owner);
        // a refused size reads no other field
        EXPECT_STREQ("*.jpg", findMask) << c.text;
        EXPECT_STREQ("C:\\", workDir) << c.text;
    }
}

TEST_F(JobDialog, FieldsShowTheSharedStateButTheSizeAlwaysStartsAt150)
{
    BoxWatch watch;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        SetField(dialog, IDC_SIZE_FIELD, "1200");
        SetField(dialog, IDC_MASK_FIELD, "*.bmp");
        SetField(dialog, IDC_JOB_DIR, folder.winPath);
        SetField(dialog, IDC_SUFFIX_FIELD, ".jpg");
        PostKey(dialog, VK_RETURN);  // Enter is Run!
        watch.Then(Press(IDOK));     // the batch finds no *.bmp in the empty folder
    });
    ASSERT_EQ(1200, thumbSize);
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("FindFirstFile", watch.seen[1].text);
    EXPECT_STREQ(".jpg", thumbSuffix);
    // a typed directory is used as it is, without rebuilding the derived paths
    EXPECT_EQ(folder.winPath, workDir);
    EXPECT_STREQ("C:\\thumbnails\\", thumbDirPath);
    EXPECT_STREQ("C:\\out_images\\", outDirPath);

    std::string size, mask, dir, thumbs, out, suffix;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        size = ControlText(dialog, IDC_SIZE_FIELD);
        mask = ControlText(dialog, IDC_MASK_FIELD);
        dir = ControlText(dialog, IDC_JOB_DIR);
        thumbs = ControlText(dialog, IDC_THUMB_DIR);
        out = ControlText(dialog, IDC_OUT_DIR);
        suffix = ControlText(dialog, IDC_SUFFIX_FIELD);
        SetField(dialog, IDC_MASK_FIELD, "*.gif");  // dropped by Esc
        PostKey(dialog, VK_ESCAPE);
    });
    EXPECT_EQ("150", size);
    EXPECT_EQ(1200, thumbSize) << "the size stays until the next Run!";
    EXPECT_EQ("*.bmp", mask);
    EXPECT_EQ(folder.winPath, dir);
    EXPECT_EQ("C:\\thumbnails\\", thumbs);
    EXPECT_EQ("C:\\out_images\\", out);
    EXPECT_EQ(".jpg", suffix);
    EXPECT_STREQ("*.bmp", findMask);
    EXPECT_EQ(0, watch.unanswered) << Describe(watch.seen);
}

TEST_F(JobDialog, OpenShowsTheChosenDirectoryAndItsDerivedPaths)
{
    folder.MakeDir("photos");
    TextCopy(browseSpec, sizeof browseSpec, (folder.winPath + "\\*.*").c_str());
    std::string shown = folder.winPath + "\\photos";
    BoxWatch watch;
    std::string dir, thumbs, out;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        SetField(dialog, IDC_JOB_DIR, "typed");
        watch.Then(Steps([&](HWND chooser) {
            // the chooser belongs to this dialog, which cannot start a batch meanwhile
            EXPECT_EQ(dialog, GetWindow(chooser, GW_OWNER));
            EXPECT_FALSE(IsWindowEnabled(dialog));
            DoubleClickEntry(chooser, IDC_DIR_LIST, "[photos]");
            PressNow(chooser, IDC_DIR_OPEN);
        }));
        ClickNow(dialog, IDC_JOB_OPEN);
        dir = ControlText(dialog, IDC_JOB_DIR);
        thumbs = ControlText(dialog, IDC_THUMB_DIR);
        out = ControlText(dialog, IDC_OUT_DIR);
        PressNow(dialog, IDC_CANCEL_BUTTON);
    });
    EXPECT_EQ(shown, dir);
    EXPECT_EQ(shown + "\\thumbnails\\", thumbs);
    EXPECT_EQ(shown + "\\out_images\\", out);
    // CANCEL drops what was typed, not what Open stored
    EXPECT_EQ(shown, workDir);
    EXPECT_EQ(shown + "\\thumbnails\\", thumbDirPath);
    EXPECT_EQ(shown + "\\out_images\\", outDirPath);
}

TEST_F(JobDialog, OpenThenCancelInTheChooserStillReplacesTheTypedDirectory)
{
    BoxWatch watch;
    std::string dir, thumbs, out;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        SetField(dialog, IDC_JOB_DIR, "typed");
        watch.Then(Press(IDC_CANCEL_BUTTON));
        ClickNow(dialog, IDC_JOB_OPEN);
        dir = ControlText(dialog, IDC_JOB_DIR);
        thumbs = ControlText(dialog, IDC_THUMB_DIR);
        out = ControlText(dialog, IDC_OUT_DIR);
        PressNow(dialog, IDCANCEL);
    });
    EXPECT_EQ("C:\\", dir);
    EXPECT_EQ("C:\\\\thumbnails\\", thumbs);
    EXPECT_EQ("C:\\\\out_images\\", out);
    EXPECT_STREQ("C:\\", workDir);
}

TEST_F(JobDialog, DerivedPathsOfAVeryLongWorkDirAreCutWithinTheirBuffers)
{
    std::string longDir = "C:\\" + std::string(253, 'd');
    TextCopy(workDir, sizeof workDir, longDir.c_str());
    BoxWatch watch;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        watch.Then(Press(IDC_CANCEL_BUTTON));
        ClickNow(dialog, IDC_JOB_OPEN);
        PressNow(dialog, IDCANCEL);
    });
    for (const char *path : {thumbDirPath, outDirPath}) {
        EXPECT_EQ(259u, strlen(path));
        EXPECT_EQ(longDir.substr(0, 256), std::string(path, 256));
        EXPECT_STREQ("...", path + 256);
    }
}

TEST_F(JobDialog, OnlyTheFieldsTheUserMayChangeAreOpen)
{
    BoxWatch watch;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        EXPECT_EQ(GetDlgItem(dialog, IDC_RUN), GetFocus()) << "Run! has the focus";
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_THUMB_DIR_OPEN)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_OUT_DIR_OPEN)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_OUT_DIR)));
        HWND thumbs = GetDlgItem(dialog, IDC_THUMB_DIR);
        EXPECT_TRUE(IsWindowEnabled(thumbs));
        EXPECT_TRUE(GetWindowLongA(thumbs, GWL_STYLE) & ES_READONLY);
        // buttons that do nothing: the dialog stays as it is
        ClickNow(dialog, IDC_THUMB_DIR_OPEN);
        EXPECT_TRUE(IsWindowVisible(dialog));
        PressNow(dialog, IDC_CANCEL_BUTTON);
    });
    EXPECT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("Properties image processing", watch.seen[0].caption);
    EXPECT_EQ(mainWindow, watch.seen[0].owner);
}

TEST_F(JobDialog, NoSecondJobCanStartWhileTheBatchRuns)
{
    // the batch stops on a directory that is gone with a box that has no owner; the main
    // window, and with it its menu, stays disabled while that box is open
    BoxWatch watch;
    std::vector<bool> enabledDuringJob;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        for (int box = 0; box < 4; box++)
            watch.Then([&](HWND window) {
                enabledDuringJob.push_back(IsWindowEnabled(mainWindow) != FALSE);
                PressNow(window, IDOK);
            });
        SetField(dialog, IDC_JOB_DIR, folder.winPath + "\\gone");
        PressNow(dialog, IDC_RUN);
    });
    for (bool enabled : enabledDuringJob)
        EXPECT_FALSE(enabled) << Describe(watch.seen);
    EXPECT_TRUE(IsWindowEnabled(mainWindow)) << "enabled again when the batch returns";
    EXPECT_EQ(folder.winPath + "\\gone", workDir);
}

struct RefusalCase { const char *mask; const char *suffix; const char *size; std::string box; };

// A mask or suffix that would lead out of the folder, or a format that cannot hold the
// thumbnails asked for, is refused as a wrong size is: a warning owned by the dialog,
// which stays up, and nothing taken over. What is allowed runs.
TEST_F(JobDialog, RunRefusesSettingsThatLeaveTheFolderOrCannotBeWritten)
{
    const std::string mask = "Маска поиска не может содержать \\ / или :\n";
    const std::string suffix = "Суффикс имени миниатюр не может содержать \\ / : или ..\n";
    const std::string format = "Миниатюры в этом формате не записываются:\n";
    const RefusalCase cases[] = {
        {"*.jpg", "\\..\\..\\photo.jpg", "150", suffix + "\\..\\..\\photo.jpg"},
        {"*.jpg", "/x.jpg", "150", suffix + "/x.jpg"},
        {"*.jpg", "c:x.jpg", "150", suffix + "c:x.jpg"},
        {"*.jpg", "_..jpg", "150", suffix + "_..jpg"},
        {"..\\*.jpg", "_small.jpg", "150", mask + "..\\*.jpg"},
        {"../*.jpg", "_small.jpg", "150", mask + "../*.jpg"},
        {"c:*.jpg", "_small.jpg", "150", mask + "c:*.jpg"},
        {"*.jpg", "_small.pcx", "150", format + "_small.pcx"},      // read only
        {"*.jpg", "_small.jxr", "150", format + "_small.jxr"},
        {"*.jpg", "_small.ico", "257", "Размер миниатюр в этом формате: 10-256\n_small.ico"},
        {"*.jpg", "_small.jp2", "31", "Размер миниатюр в этом формате: 32-65536\n_small.jp2"},
        {"*.jpg", "_small.webp", "16384", "Размер миниатюр в этом формате: 10-16383\n_small.webp"},
        {"*.jpg", "_small.ico", "256", ""},
        {"*.jpg", "_small.jp2", "32", ""},
        {"*.jpg", "_small.gif", "150", ""},
        {"*.jpg", "_small", "150", ""},  // no format at all: the job quietly makes nothing
        {"..*.jpg", "_small.x.jpg", "150", ""},  // dots alone lead nowhere
    };
    for (const RefusalCase &c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " " + c.suffix + " " + c.size);
        StartProgram();
        BoxWatch watch;
        bool stillOpen = false;
        OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
            SetField(dialog, IDC_SIZE_FIELD, c.size);
            SetField(dialog, IDC_MASK_FIELD, c.mask);
            SetField(dialog, IDC_JOB_DIR, folder.winPath);
            SetField(dialog, IDC_SUFFIX_FIELD, c.suffix);
            ClickNow(dialog, IDC_RUN);
            stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            if (stillOpen)
                PressNow(dialog, IDC_CANCEL_BUTTON);
        });
        if (c.box.empty()) {
            EXPECT_FALSE(stillOpen);
            EXPECT_STREQ(c.suffix, thumbSuffix);
            continue;
        }
        EXPECT_TRUE(stillOpen);
        ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
        EXPECT_EQ(c.box, watch.seen[1].text);
        EXPECT_EQ("Error", watch.seen[1].caption);
        EXPECT_EQ(ICON_WARNING, watch.seen[1].icon);
        EXPECT_EQ(watch.seen[0].window, watch.seen[1].owner);
        EXPECT_STREQ("*.jpg", findMask);
        EXPECT_STREQ("_small.jpg", thumbSuffix);
        EXPECT_STREQ("C:\\", workDir);
        EXPECT_TRUE(folder.List().empty());
    }
}

// The job's own files (thumbnails\~fotobatch-<10 digits>-<2 digits>.tmp, 39 characters)
// must fit a path of 259 characters under the working directory: a directory of 219
// characters works, a longer one is refused at Run! with one box, and nothing is written.
TEST_F(JobDialog, DeepWorkingDirectoriesWorkOrAreRefusedAtRun)
{
    for (size_t length : {219u, 220u, 250u}) {
        SCOPED_TRACE(length);
        StartProgram();
        TestFolder here;
        std::string sub, winDir = here.winPath;
        while (winDir.size() < length) {
            std::string part(std::min<size_t>(200, length - winDir.size() - 1), 'd');
            sub += (sub.empty() ? "" : "/") + part;
            winDir += "\\" + part;
            here.MakeDir(sub);
        }
        std::string unixDir = here.Path(sub);
        ASSERT_EQ(length, winDir.size());
        ASSERT_TRUE(SaveTestImage(unixDir + "/p.jpg", FIF_JPEG, 64, 48));
        BoxWatch watch;
        OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
            SetField(dialog, IDC_JOB_DIR, winDir);
            watch.Then(Press(length <= 219 ? IDC_REC_DEFAULT : IDOK));
            ClickNow(dialog, IDC_RUN);
            if (IsWindow(dialog))
                PressNow(dialog, IDC_CANCEL_BUTTON);
        });
        ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
        if (length <= 219) {
            EXPECT_EQ(winDir, workDir);
            EXPECT_EQ((PixelSize{64, 48}), ImageFileSize(unixDir + "/thumbnails/p_small.jpg"));
            EXPECT_NE(std::string::npos, here.ReadFile(sub + "/imagelog.sql").find("('p.jpg','p.jpg'"));
            continue;
        }
        EXPECT_EQ("Путь папки длиннее 219 символов, миниатюры в ней не записать:\n" + winDir, watch.seen[1].text);
        EXPECT_EQ(watch.seen[0].window, watch.seen[1].owner);
        EXPECT_STREQ("C:\\", workDir);
        EXPECT_FALSE(here.Exists(sub + "/imagelog.sql"));
    }
}
