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

// The dialog's fields in their order: size, mask, directory, thumbnails folder, output
// folder, suffix.
static std::vector<std::string> Fields(HWND dialog)
{
    std::vector<std::string> fields;
    for (int id : {IDC_SIZE_FIELD, IDC_MASK_FIELD, IDC_JOB_DIR, IDC_THUMB_DIR, IDC_OUT_DIR, IDC_SUFFIX_FIELD})
        fields.push_back(ControlText(dialog, id));
    return fields;
}

// One Run! with these fields: what it refuses with which box ("" for none), and the size
// it leaves in thumbSize either way.
struct RunCase {
    const char *size;
    std::string box;
    int sizeAfter;
    const char *mask = "*.png";
    const char *suffix = "_small.jpg";
};

// A size outside 10 to 65536, a mask or suffix that would lead out of the folder, or a
// format that cannot hold the thumbnails asked for, is refused: a warning owned by the
// dialog, which stays up as it was typed, and nothing but the size taken over. What is
// allowed is taken over and runs.
TEST_F(JobDialog, RunTakesOverOnlyWhatItAccepts)
{
    const std::string size = "Error!\nNew images size:10-65536";
    const std::string mask = "Маска поиска не может содержать \\ / или :\n";
    const std::string suffix = "Суффикс имени миниатюр не может содержать \\ / : или ..\n";
    const std::string format = "Миниатюры в этом формате не записываются:\n";
    const RunCase cases[] = {
        {"150", "", 150},
        {"10", "", 10},
        {"65536", "", 65536},
        {"1200px", "", 1200},  // the number ends at the first non-digit
        {"  \t42", "", 42},    // leading blanks are skipped
        {"+20", "", 20},
        {"9", size, 9},
        {"65537", size, 65537},
        {"0", size, 0},
        {"-150", size, -150},
        {"", size, 0},
        {"abc", size, 0},
        {"4294967446", size, 2147483647},        // 2^32 + 150 must not wrap round to 150
        {"-4294967146", size, -2147483647 - 1},  // nor -(2^32 - 150) to 150
        {"99999999999999999999999", size, 2147483647},
        {"150", suffix + "\\..\\..\\photo.jpg", 150, "*.png", "\\..\\..\\photo.jpg"},
        {"150", suffix + "/x.jpg", 150, "*.png", "/x.jpg"},
        {"150", suffix + "c:x.jpg", 150, "*.png", "c:x.jpg"},
        {"150", suffix + "_..jpg", 150, "*.png", "_..jpg"},
        {"150", mask + "..\\*.jpg", 150, "..\\*.jpg"},
        {"150", mask + "../*.jpg", 150, "../*.jpg"},
        {"150", mask + "c:*.jpg", 150, "c:*.jpg"},
        {"150", format + "_small.pcx", 150, "*.png", "_small.pcx"},  // read only
        {"150", format + "_small.jxr", 150, "*.png", "_small.jxr"},
        {"257", "Размер миниатюр в этом формате: 10-256\n_small.ico", 257, "*.png", "_small.ico"},
        {"31", "Размер миниатюр в этом формате: 32-65536\n_small.jp2", 31, "*.png", "_small.jp2"},
        {"16384", "Размер миниатюр в этом формате: 10-16383\n_small.webp", 16384, "*.png", "_small.webp"},
        {"256", "", 256, "*.png", "_small.ico"},
        {"32", "", 32, "*.png", "_small.jp2"},
        {"150", "", 150, "*.png", "_small.gif"},
        {"150", "", 150, "*.png", "_small"},         // no format at all: the job quietly makes nothing
        {"150", "", 150, "..*.jpg", "_small.x.jpg"},  // dots alone lead nowhere
    };
    for (const RunCase &c : cases) {
        SCOPED_TRACE(std::string("'") + c.size + "' " + c.mask + " " + c.suffix);
        StartProgram();
        TestFolder here;  // a job that ran leaves its log in its folder
        BoxWatch watch;
        bool stillOpen = false;
        OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
            SetField(dialog, IDC_SIZE_FIELD, c.size);
            SetField(dialog, IDC_MASK_FIELD, c.mask);
            SetField(dialog, IDC_JOB_DIR, here.winPath);
            SetField(dialog, IDC_SUFFIX_FIELD, c.suffix);
            ClickNow(dialog, IDC_RUN);
            stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            if (stillOpen) {
                EXPECT_EQ(c.size, ControlText(dialog, IDC_SIZE_FIELD)) << "fields stay as typed";
                PressNow(dialog, IDC_CANCEL_BUTTON);
            }
        });
        EXPECT_EQ(c.sizeAfter, thumbSize);
        EXPECT_EQ(c.box.empty(), !stillOpen);
        if (c.box.empty()) {
            EXPECT_STREQ(c.mask, findMask);
            EXPECT_STREQ(c.suffix, thumbSuffix);
            EXPECT_EQ(here.winPath, workDir);
            continue;
        }
        ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
        const SeenBox &warning = watch.seen[1];
        EXPECT_TRUE(warning.messageBox);
        EXPECT_EQ(c.box, warning.text);
        EXPECT_EQ("Error", warning.caption);
        EXPECT_EQ(ICON_WARNING, warning.icon);
        EXPECT_EQ(watch.seen[0].window, warning.owner);
        EXPECT_STREQ("*.jpg", findMask);
        EXPECT_STREQ("_small.jpg", thumbSuffix);
        EXPECT_STREQ("C:\\", workDir);
        EXPECT_TRUE(here.List().empty());
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
    // a typed directory is used as it is; the thumbnails path follows it, the name-fix path not
    EXPECT_EQ(folder.winPath, workDir);
    EXPECT_EQ(folder.winPath + "\\thumbnails\\", thumbDirPath);
    EXPECT_STREQ("C:\\out_images\\", outDirPath);

    std::vector<std::string> fields;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        fields = Fields(dialog);
        SetField(dialog, IDC_MASK_FIELD, "*.gif");  // dropped by Esc
        PostKey(dialog, VK_ESCAPE);
    });
    EXPECT_EQ((std::vector<std::string>{"150", "*.bmp", folder.winPath, folder.winPath + "\\thumbnails\\",
                                        "C:\\out_images\\", ".jpg"}),
              fields);
    EXPECT_EQ(1200, thumbSize) << "the size stays until the next Run!";
    EXPECT_STREQ("*.bmp", findMask);
    EXPECT_EQ(0, watch.unanswered) << Describe(watch.seen);
}

// "Open": the chooser, owned by the dialog and disabling it, then the directory field and
// the derived paths from workDir whichever way the chooser ended, in place of what was
// typed and kept when the dialog is cancelled; a workDir too long for a derived path has
// that path cut within its buffer and marked with "...".
TEST_F(JobDialog, OpenShowsTheChosenDirectoryAndItsDerivedPaths)
{
    folder.MakeDir("photos");
    const std::string photos = folder.winPath + "\\photos", longDir = "C:\\" + std::string(253, 'd');
    const std::string cut = longDir.substr(0, 256) + "...";
    struct Case { const char *what; std::string before; bool open; std::string dir, thumbs, out; };
    const Case cases[] = {
        {"Open in the chooser", "C:\\", true, photos, photos + "\\thumbnails\\", photos + "\\out_images\\"},
        {"CANCEL in the chooser", "C:\\", false, "C:\\", "C:\\\\thumbnails\\", "C:\\\\out_images\\"},
        {"a workDir too long for its derived paths", longDir, false, longDir, cut, cut},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        StartProgram();
        TextCopy(browseSpec, sizeof browseSpec, (folder.winPath + "\\*.*").c_str());
        TextCopy(workDir, sizeof workDir, c.before.c_str());
        BoxWatch watch;
        std::vector<std::string> fields;
        OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
            SetField(dialog, IDC_JOB_DIR, "typed");
            watch.Then(Steps([&](HWND chooser) {
                EXPECT_EQ(dialog, GetWindow(chooser, GW_OWNER));
                EXPECT_FALSE(IsWindowEnabled(dialog)) << "no job can start while the chooser is open";
                if (c.open)
                    DoubleClickEntry(chooser, IDC_DIR_LIST, "[photos]");
                PressNow(chooser, c.open ? IDC_DIR_OPEN : IDC_CANCEL_BUTTON);
            }));
            ClickNow(dialog, IDC_JOB_OPEN);
            fields = Fields(dialog);
            PressNow(dialog, IDC_CANCEL_BUTTON);
        });
        EXPECT_EQ((std::vector<std::string>{"150", "*.jpg", c.dir, c.thumbs, c.out, "_small.jpg"}), fields);
        EXPECT_EQ(c.dir, workDir);
        EXPECT_EQ(c.thumbs, thumbDirPath);
        EXPECT_EQ(c.out, outDirPath);
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

// A directory chosen through the name-fix dialog's Open is the save folder's base in the
// next job dialog, as one typed before Run! is (above).
TEST_F(JobDialog, SaveFolderFollowsADirectoryChosenForFix)
{
    folder.MakeDir("photos");
    const std::string chosen = folder.winPath + "\\photos";
    TextCopy(browseSpec, sizeof browseSpec, (folder.winPath + "\\*.*").c_str());
    BoxWatch watch;
    OpenFromMenu(watch, IDM_NAME_FIX, [&](HWND fix) {
        watch.Then(Steps([&](HWND chooser) {
            DoubleClickEntry(chooser, IDC_DIR_LIST, "[photos]");
            PressNow(chooser, IDC_DIR_OPEN);
        }));
        ClickNow(fix, IDC_FIX_OPEN);
        PressNow(fix, IDCANCEL);
    });
    std::string thumbs;
    OpenFromMenu(watch, IDM_THUMBNAILS, [&](HWND dialog) {
        thumbs = ControlText(dialog, IDC_THUMB_DIR);
        PressNow(dialog, IDC_CANCEL_BUTTON);
    });
    EXPECT_STREQ(chosen.c_str(), workDir);
    EXPECT_EQ(chosen + "\\thumbnails\\", thumbs);
}
