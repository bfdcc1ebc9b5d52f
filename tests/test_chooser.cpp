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
};

TEST_F(Chooser, FirstOpeningListsRootOfCWhereverTheProgramStands)
{
    // the program may have been started anywhere on drive C:
    CreateDirectoryA("C:\\fotobatch-start", NULL);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\fotobatch-start"));
    BoxWatch watch;
    ChooserSeen opened = OpenChooser(watch, IDC_DIR_OPEN);
    RemoveDirectoryA("C:\\fotobatch-start");
    ASSERT_EQ(1u, watch.seen.size());
    EXPECT_EQ("Open Directory", watch.seen[0].caption);
    EXPECT_EQ(mainWindow, watch.seen[0].owner);
    EXPECT_EQ("c:\\", opened.path);
    EXPECT_TRUE(Has(opened.entries, "[-c-]"));
    EXPECT_TRUE(Has(opened.entries, "[windows]"));
    EXPECT_TRUE(Has(opened.entries, "[fotobatch-start]"));
    EXPECT_FALSE(Has(opened.entries, "[..]")) << "a root has no parent";
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

// A double-click on a file names it in a box and leaves the chooser where it was. The bare
// file name left in browseSpec cannot be listed: the next opening still lists the
// directory, and Open stores it, not an empty path.
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

    ChooserSeen again = OpenChooser(watch, IDC_DIR_OPEN);
    EXPECT_EQ(Shown(), again.path);
    EXPECT_TRUE(Has(again.entries, "отпуск.jpg"));
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
// the same entries in the same order, the same path field, the same browseSpec after; and
// every directory and file there, with the parent.
TEST_F(Chooser, ListsEntryForEntryAsTheSystemListing)
{
    const std::vector<std::string> dirs = {"photos", u8"Фото", "B dir", "a.b"};
    const std::vector<std::string> files = {"a.jpg", "Z.TXT", u8"фото.png", "noext", "_x", "10.jpg", "9.jpg", "b c.jpeg"};
    for (const std::string &dir : dirs)
        folder.MakeDir(dir);
    for (const std::string &file : files)
        folder.WriteFile(file, "x");
    BrowseFromFolder();
    auto expected = SystemListing(browseSpec);
    BoxWatch watch;
    ChooserSeen opened = OpenChooser(watch, IDC_CANCEL_BUTTON);
    EXPECT_EQ(expected.first, opened.entries);
    EXPECT_EQ(expected.second, opened.path);
    EXPECT_STREQ("*.*", browseSpec);
    size_t drives = std::count_if(opened.entries.begin(), opened.entries.end(),
                                  [](const std::string &e) { return e.size() == 5 && e.compare(0, 2, "[-") == 0; });
    EXPECT_EQ(dirs.size() + files.size() + 1, opened.entries.size() - drives);
}
