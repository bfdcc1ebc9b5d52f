// The directory chooser driven as a user drives it: opened from the main window's
// "&Select Directory", browsed by double-clicks, left with Open, CANCEL or Enter.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"

#include "base/state.h"
#include "res/resource.h"

#include <algorithm>
#include <string.h>

static std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)tolower(c); });
    return text;
}

static bool Has(const std::vector<std::string> &entries, const std::string &entry)
{
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

class Chooser : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        SetCurrentDirectoryA("C:\\");
    }
    TestFolder folder;
    // the test folder as the chooser's path field shows it
    std::string Shown() const { return Lower(folder.winPath); }
    // the test folder as "Open" stores it: the listed directory, letter case included
    std::string Listed() const { return folder.winPath; }
    void BrowseFromFolder() { TextCopy(browseSpec, sizeof browseSpec, (folder.winPath + "\\*.*").c_str()); }
    // The chooser from the menu, its list and path field read as it opens, then the button.
    struct Opened {
        std::vector<std::string> entries;
        std::string path;
    };
    static Opened OpenChooser(BoxWatch &watch, int button)
    {
        Opened opened;
        OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
            opened.entries = ListEntries(dialog, IDC_DIR_LIST);
            opened.path = ControlText(dialog, IDC_DIR_PATH);
            PressNow(dialog, button);
        });
        return opened;
    }
};

TEST_F(Chooser, FirstOpeningListsRootOfCWhereverTheProgramStands)
{
    // the program may have been started anywhere on drive C:
    CreateDirectoryA("C:\\fotobatch-start", NULL);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\fotobatch-start"));
    BoxWatch watch;
    Opened opened = OpenChooser(watch, IDC_DIR_OPEN);
    const std::vector<std::string> &entries = opened.entries;
    const std::string &path = opened.path;
    RemoveDirectoryA("C:\\fotobatch-start");
    ASSERT_EQ(1u, watch.seen.size());
    EXPECT_EQ("Open Directory", watch.seen[0].caption);
    EXPECT_EQ(mainWindow, watch.seen[0].owner);
    EXPECT_EQ("c:\\", path);
    EXPECT_TRUE(Has(entries, "[-c-]"));
    EXPECT_TRUE(Has(entries, "[windows]"));
    EXPECT_TRUE(Has(entries, "[fotobatch-start]"));
    EXPECT_FALSE(Has(entries, "[..]")) << "a root has no parent";
    // Open takes the listed directory, as the system names it, not the field's small
    // letters; the thumbnails path doubles the backslash
    EXPECT_STREQ("C:\\", workDir);
    EXPECT_STREQ("C:\\\\thumbnails\\", thumbDirPath);
    EXPECT_STREQ("*.*", browseSpec);
}

TEST_F(Chooser, DoubleClicksMoveThroughSubdirectoriesParentsAndDrives)
{
    folder.MakeDir("photos");
    folder.MakeDir(u8"Фото");
    folder.WriteFile("a.jpg", "x");
    BrowseFromFolder();
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        std::vector<std::string> entries = ListEntries(dialog, IDC_DIR_LIST);
        EXPECT_EQ(Shown(), ControlText(dialog, IDC_DIR_PATH));
        EXPECT_TRUE(Has(entries, "[photos]") && Has(entries, "[Фото]") && Has(entries, "a.jpg") && Has(entries, "[..]"));

        // a single click (a change of selection) does nothing
        SendDlgItemMessageA(dialog, IDC_DIR_LIST, LB_SETCURSEL, 0, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DIR_LIST, LBN_SELCHANGE), 0);
        EXPECT_EQ(Shown(), ControlText(dialog, IDC_DIR_PATH));

        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[Фото]"));
        EXPECT_EQ(Shown() + "\\фото", ControlText(dialog, IDC_DIR_PATH));
        EXPECT_STREQ("*.*", browseSpec);
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[..]"));
        EXPECT_EQ(Shown(), ControlText(dialog, IDC_DIR_PATH));
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[photos]"));
        EXPECT_EQ(Shown() + "\\photos", ControlText(dialog, IDC_DIR_PATH));
        std::vector<std::string> inside = ListEntries(dialog, IDC_DIR_LIST);
        EXPECT_FALSE(Has(inside, "a.jpg"));
        EXPECT_TRUE(Has(inside, "[..]"));

        // a drive lists that drive's current directory: for C:, which this process has not
        // entered, its root
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[-c-]"));
        EXPECT_EQ("c:\\", ControlText(dialog, IDC_DIR_PATH));
        EXPECT_TRUE(Has(ListEntries(dialog, IDC_DIR_LIST), "[windows]"));
        PressNow(dialog, IDC_DIR_OPEN);
    });
    // the drive entry moved to "c:", and the system names its directory so
    EXPECT_STREQ("c:\\", workDir);
}

TEST_F(Chooser, DoubleClickOnAFileOnlyNamesIt)
{
    folder.WriteFile(u8"отпуск.jpg", "x");
    BrowseFromFolder();
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        watch.Then(Press(IDOK));
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "отпуск.jpg"));
        EXPECT_EQ(Shown(), ControlText(dialog, IDC_DIR_PATH));
        EXPECT_TRUE(Has(ListEntries(dialog, IDC_DIR_LIST), "отпуск.jpg"));
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the chooser stays open";
        EXPECT_STREQ("отпуск.jpg", browseSpec);
        PressNow(dialog, IDC_CANCEL_BUTTON);
    });
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_TRUE(watch.seen[1].messageBox);
    EXPECT_EQ("File Selected", watch.seen[1].caption);
    EXPECT_EQ("отпуск.jpg", watch.seen[1].text);
    EXPECT_EQ(ICON_INFORMATION, watch.seen[1].icon);
    EXPECT_EQ(watch.seen[0].window, watch.seen[1].owner);
    EXPECT_STREQ("C:\\", workDir);
    EXPECT_STREQ("C:\\\\thumbnails\\", thumbDirPath) << "rebuilt however the chooser ended";
}

TEST_F(Chooser, OpeningAfterAFileWasPickedListsAgain)
{
    // the bare file name left in browseSpec cannot be listed: the next opening must still
    // show the directory, and Open must not store an empty path
    folder.WriteFile("a.jpg", "x");
    BrowseFromFolder();
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        watch.Then(Press(IDOK));
        DoubleClickEntry(dialog, IDC_DIR_LIST, "a.jpg");
        PressNow(dialog, IDCANCEL);
    });
    ASSERT_STREQ("a.jpg", browseSpec);
    Opened opened = OpenChooser(watch, IDC_DIR_OPEN);
    EXPECT_EQ(Shown(), opened.path);
    EXPECT_TRUE(Has(opened.entries, "a.jpg"));
    EXPECT_STREQ("*.*", browseSpec);
    EXPECT_EQ(Listed(), workDir);
}

TEST_F(Chooser, CancelKeepsWorkDirAndTheNextOpeningListsWhereTheUserBrowsed)
{
    folder.MakeDir("photos");
    BrowseFromFolder();
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        DoubleClickEntry(dialog, IDC_DIR_LIST, "[photos]");
        PressNow(dialog, IDC_CANCEL_BUTTON);
    });
    EXPECT_STREQ("C:\\", workDir);
    std::string path;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        path = ControlText(dialog, IDC_DIR_PATH);
        PostKey(dialog, VK_ESCAPE);
    });
    EXPECT_EQ(Shown() + "\\photos", path);
    EXPECT_STREQ("C:\\", workDir);
    EXPECT_EQ(0, watch.unanswered);
}

TEST_F(Chooser, EnterOnASelectedSubdirectoryStoresTheListedDirectory)
{
    folder.MakeDir("photos");
    BrowseFromFolder();
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_DIR_LIST);
        SetFocus(list);
        SendMessageA(list, LB_SELECTSTRING, (WPARAM)-1, (LPARAM) "[photos]");
        PostKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(Listed(), workDir);
    EXPECT_EQ(Listed() + "\\thumbnails\\", thumbDirPath);
}

TEST_F(Chooser, LongestSubdirectoryNameFitsBrowseSpec)
{
    // 255 characters, a backslash and "*.*" fill browseSpec exactly; the directory itself
    // fits a path of 259 characters only when its parent's path is short enough
    std::string deepest(259 - Shown().size() - 1, 'd');
    std::string longest(255, 'n');
    folder.MakeDir(deepest);
    folder.MakeDir(longest);
    BrowseFromFolder();
    BoxWatch watch;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[" + deepest + "]"));
        EXPECT_EQ(Shown() + "\\" + deepest, ControlText(dialog, IDC_DIR_PATH));
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[..]"));
        if (longest.size() + 1 + Shown().size() > 259) {
            // too deep to be named: the chooser says so and stays where it was
            watch.Then(Press(IDOK));
            EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[" + longest + "]"));
            EXPECT_EQ(Shown(), ControlText(dialog, IDC_DIR_PATH));
            EXPECT_TRUE(Has(ListEntries(dialog, IDC_DIR_LIST), "[" + longest + "]"));
        }
        EXPECT_TRUE(DoubleClickEntry(dialog, IDC_DIR_LIST, "[" + deepest + "]"));
        PressNow(dialog, IDC_DIR_OPEN);
    });
    EXPECT_STREQ("*.*", browseSpec);
    EXPECT_EQ(Listed() + "\\" + deepest, workDir);
    EXPECT_EQ(259u, strlen(workDir));
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("Error", watch.seen[1].caption);
    // a workDir this long leaves no room for "\\thumbnails\\": the shown path is cut, marked
    // with "...", and stays within its buffer
    EXPECT_EQ(259u, strlen(thumbDirPath));
    EXPECT_EQ(0, strncmp(thumbDirPath, workDir, 256));
    EXPECT_STREQ("...", thumbDirPath + 256);
}

TEST_F(Chooser, OpenStoresNoEmptyPath)
{
    // every listing fills the path field (see above); should it ever stay empty, Open
    // must not make the working directory empty
    BoxWatch watch;
    bool openAfterOpen = false;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        SetField(dialog, IDC_DIR_PATH, "");
        ClickNow(dialog, IDC_DIR_OPEN);
        openAfterOpen = IsWindowVisible(dialog) != FALSE;
        PressNow(dialog, IDC_CANCEL_BUTTON);
    });
    EXPECT_TRUE(openAfterOpen);
    EXPECT_STREQ("C:\\", workDir);
}

// The system's own listing of a list text into a hidden list box and path field styled as
// the chooser's (sorted list, path in small letters): what the chooser showed before it
// held the list box's drawing off.
static std::pair<std::vector<std::string>, std::string> SystemListing(const std::string &listText)
{
    HWND host = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
    CreateWindowExA(0, "ListBox", "", WS_CHILD | LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_HSCROLL, 0, 0, 280, 200,
                    host, (HMENU)IDC_DIR_LIST, NULL, NULL);
    CreateWindowExA(0, "Edit", "", WS_CHILD | ES_LOWERCASE | ES_AUTOHSCROLL, 0, 210, 280, 20, host,
                    (HMENU)IDC_DIR_PATH, NULL, NULL);
    char text[MAX_PATH];
    TextCopy(text, sizeof text, listText.c_str());
    DlgDirListA(host, text, IDC_DIR_LIST, IDC_DIR_PATH, DDL_DRIVES | DDL_DIRECTORY);
    auto listing = std::make_pair(ListEntries(host, IDC_DIR_LIST), ControlText(host, IDC_DIR_PATH));
    DestroyWindow(host);
    return listing;
}

// Drives, directories and files, as the chooser lists them and as the system lists them:
// the same entries in the same order, the same path field, the same browseSpec after.
TEST_F(Chooser, ListsEntryForEntryAsTheSystemListing)
{
    struct Case { const char *what; std::vector<std::string> dirs, files; };
    const std::vector<Case> cases = {
        {"empty", {}, {}},
        {"mixed", {"photos", u8"Фото", "B dir", "a.b"},
         {"a.jpg", "Z.TXT", u8"фото.png", "noext", "_x", "10.jpg", "9.jpg", "b c.jpeg"}},
        {"files only", {}, {"one.jpg", "Two.JPG", "three"}},
    };
    for (const Case &c : cases) {
        TestFolder here;
        for (const std::string &dir : c.dirs)
            here.MakeDir(dir);
        for (const std::string &file : c.files)
            here.WriteFile(file, "x");
        const std::string listText = here.winPath + "\\*.*";
        auto expected = SystemListing(listText);
        TextCopy(browseSpec, sizeof browseSpec, listText.c_str());
        BoxWatch watch;
        Opened opened = OpenChooser(watch, IDC_CANCEL_BUTTON);
        const std::vector<std::string> &entries = opened.entries;
        EXPECT_EQ(expected.first, entries) << c.what;
        EXPECT_EQ(expected.second, opened.path) << c.what;
        EXPECT_STREQ("*.*", browseSpec) << c.what;
        EXPECT_EQ(c.dirs.size() + c.files.size() + 1, entries.size() - std::count_if(entries.begin(), entries.end(),
            [](const std::string &e) { return e.size() == 5 && e.compare(0, 2, "[-") == 0; })) << c.what;
    }
}
