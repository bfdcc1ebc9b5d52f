// What keeps FIX safe: it refuses a drive's root and the system's folders, every walk can
// be undone from the File menu (also after the program was killed in the middle of one),
// and a walk says which entries kept their names.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"

#include "base/state.h"
#include "namefix/namefix.h"
#include "res/resource.h"

#include <algorithm>
#include <shlobj.h>
#include <stdlib.h>
#include <unistd.h>

// Where the program keeps the journal of the last FIX: %APPDATA%\Fotobatch.
static std::string JournalPath()
{
    char appData[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, appData);
    return std::string(appData) + "\\Fotobatch\\fix-journal.txt";
}

TEST(FixRefused, DriveRootsAndSystemFoldersRenameNothing)
{
    StartProgram();
    TestFolder root;  // the root of a drive of its own, holding a name FIX would change
    root.WriteFile(u8"Фото.JPG", "photo");
    const char *prefix = getenv("WINEPREFIX");
    ASSERT_NE(nullptr, prefix);
    std::string drive = std::string(prefix) + "/dosdevices/y:";
    unlink(drive.c_str());
    ASSERT_EQ(0, symlink(root.unixPath.c_str(), drive.c_str()));
    char user[64] = "";
    GetEnvironmentVariableA("USERNAME", user, sizeof user);
    // Wine's names for them, written out here apart from the system's answers
    const std::string folders[] = {
        "C:\\",  // where the program starts
        "C:\\windows", "C:\\WINDOWS\\System32\\", "C:\\Program Files", "C:\\Program Files (x86)",
        "C:\\ProgramData", "C:\\users", std::string("C:\\users\\") + user, "C:\\users\\Public", "Y:\\"};
    for (const std::string &folder : folders) {
        SCOPED_TRACE(folder);
        const std::string all = folder + (folder.back() == '\\' ? "*" : "\\*");
        std::vector<std::string> before = WinListing(all);
        ASSERT_FALSE(before.empty());
        TextCopy(workDir, sizeof workDir, folder.c_str());
        BoxWatch watch;

        FixThroughMenu(watch);

        ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
        EXPECT_EQ("Error", watch.seen[1].caption);
        EXPECT_NE(std::string::npos, watch.seen[1].text.find("ничего не переименовано")) << Describe(watch.seen);
        EXPECT_EQ(before, WinListing(all));
    }
    unlink(drive.c_str());
}

class FixUndo : public testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
    }
    TestFolder folder;
};

TEST_F(FixUndo, EveryKindOfChangedNameComesBackOnce)
{
    MakeNamesFixChanges(folder, "");
    std::map<std::string, std::string> before = FolderSnapshot(folder.unixPath);
    BoxWatch watch;

    FixThroughMenu(watch);

    EXPECT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_TRUE(folder.Exists("img_0001.jpg") && folder.Exists("novaj_papka")) << testing::PrintToString(folder.List());
    EXPECT_TRUE(UndoFixEnabled());

    EXPECT_NE(std::string::npos, UndoFixThroughMenu().find("Восстановлено имён: 7"));
    EXPECT_EQ(before, FolderSnapshot(folder.unixPath));
    EXPECT_FALSE(UndoFixEnabled());

    EXPECT_EQ(0u, UndoFixThroughMenu().find("Нечего отменять"));
    EXPECT_EQ(before, FolderSnapshot(folder.unixPath));
}

TEST_F(FixUndo, TakenAndMissingNamesAreLeftAndNamed)
{
    folder.WriteFile(u8"Юля-Ёлка.txt", "hyphen");
    folder.WriteFile(u8"Київ.jpg", "kyiv");
    folder.WriteFile(u8"Фото.JPG", "photo");
    BoxWatch watch;
    FixThroughMenu(watch);
    folder.WriteFile(u8"Юля-Ёлка.txt", "new file under the old name");
    unlink(folder.Path("kiiv.jpg").c_str());

    std::string text = UndoFixThroughMenu();

    EXPECT_NE(std::string::npos, text.find("Восстановлено имён: 1")) << AnsiToUtf8(text);
    EXPECT_NE(std::string::npos, text.find("): 2\n")) << AnsiToUtf8(text);
    EXPECT_NE(std::string::npos, text.find("\nkiiv.jpg\n")) << AnsiToUtf8(text);
    EXPECT_NE(std::string::npos, text.find("\nulj_elka.txt\n")) << AnsiToUtf8(text);
    EXPECT_EQ((std::vector<std::string>{"ulj_elka.txt", u8"Фото.JPG", u8"Юля-Ёлка.txt"}), folder.List());
    EXPECT_EQ("new file under the old name", folder.ReadFile(u8"Юля-Ёлка.txt"));
    EXPECT_EQ("hyphen", folder.ReadFile("ulj_elka.txt"));
}

TEST_F(FixUndo, FailedRenamesAreCountedAndTheFirstFiveNamed)
{
    // names with a '?', which no rename may give
    for (int i = 0; i < 7; i++)
        folder.WriteFile(u8"Что?" + std::to_string(i) + ".txt", "question");
    BoxWatch watch;

    FixThroughMenu(watch);

    ASSERT_EQ(1u, watch.summaries.size()) << Describe(watch.seen);
    const std::string &text = watch.summaries[0].text;
    EXPECT_EQ(ICON_WARNING, watch.summaries[0].icon);
    size_t failed = text.find("Не удалось переименовать: 7\nЧто?");
    ASSERT_NE(std::string::npos, failed) << AnsiToUtf8(text);
    EXPECT_EQ(failed + 28 + 5 * 10, text.find("... и ещё 2\nВремя: ")) << AnsiToUtf8(text);
    EXPECT_EQ(7u, folder.List().size());
}

// The walk of a program that is killed: run in a process of its own (this program again).
TEST(KilledWalk, DISABLED_Walk)
{
    char folder[MAX_PATH] = "";
    GetEnvironmentVariableA("FOTOBATCH_WALK_DIR", folder, sizeof folder);
    StartProgram();
    TextCopy(workDir, sizeof workDir, folder);
    BoxWatch watch;
    FixThroughMenu(watch);
}

TEST_F(FixUndo, WalkKilledMidwayIsUndoneToTheOriginalNames)
{
    const int count = 3000;
    std::vector<std::string> original;
    for (int i = 0; i < count; i++) {
        original.push_back(u8"Снимок " + std::to_string(i) + ".JPG");
        folder.WriteFile(original.back(), std::to_string(i));
    }
    std::sort(original.begin(), original.end());
    std::string journal = JournalPath();
    DeleteFileA(journal.c_str());
    const char *build = getenv("FOTOBATCH_BUILD_DIR");
    ASSERT_NE(nullptr, build);
    std::string self = std::string("Z:") + build + "\\tests\\test_namefix_undo.exe.so";
    std::replace(self.begin(), self.end(), '/', '\\');
    std::string command = "\"" + self + "\" --gtest_filter=KilledWalk.DISABLED_Walk --gtest_also_run_disabled_tests";
    SetEnvironmentVariableA("FOTOBATCH_WALK_DIR", folder.winPath.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child));

    // killed once the journal holds a few hundred renames
    WIN32_FILE_ATTRIBUTE_DATA journalData;
    bool killed = false;
    for (int round = 0; round < 60000 && !killed; round++) {
        if (GetFileAttributesExA(journal.c_str(), GetFileExInfoStandard, &journalData) &&
            journalData.nFileSizeLow > 10000)
            killed = TerminateProcess(child.hProcess, 9);
        else if (WaitForSingleObject(child.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(killed) << "the walk ended before it was killed";
    std::vector<std::string> names = folder.List();
    size_t fixedCount = std::count_if(names.begin(), names.end(),
                                      [](const std::string &name) { return name.compare(0, 7, "snimok_") == 0; });
    EXPECT_GT(fixedCount, 0u);
    EXPECT_LT(fixedCount, (size_t)count) << "killed in the middle of the walk";

    EXPECT_NE(std::string::npos, UndoFixThroughMenu().find("Восстановлено имён: " + std::to_string(fixedCount)));
    EXPECT_EQ(original, folder.List());
    for (int i = 0; i < count; i += 97)
        EXPECT_EQ(std::to_string(i), folder.ReadFile(u8"Снимок " + std::to_string(i) + ".JPG"));
}
