// Hostile folders, built for real: links, names that Win32 reads as something other than
// the entry listed, existing targets, and case twins. The rename walk may rename only the
// entries of the working folder, each as itself, and never over another entry.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"

#include "base/state.h"
#include "namefix/namefix.h"
#include "res/resource.h"

#include <algorithm>
#include <dirent.h>
#include <map>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

typedef std::map<std::string, std::string> Snapshot;

// What a path is, without following it: a file with its bytes, a link with its target,
// or a directory.
static std::string DescribeEntry(const std::string &path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return "missing";
    if (S_ISLNK(info.st_mode)) {
        char target[4096];
        ssize_t length = readlink(path.c_str(), target, sizeof target);
        return "link " + std::string(target, length > 0 ? length : 0);
    }
    if (S_ISDIR(info.st_mode))
        return "dir";
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file != NULL) {
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.append(chunk, got);
        fclose(file);
    }
    return "file " + bytes;
}

// Every path under a folder, links not followed, leaving out one subfolder.
static void TakeSnapshot(const std::string &folder, const std::string &leaveOut, Snapshot &into)
{
    DIR *dir = opendir(folder.c_str());
    if (dir == NULL)
        return;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        std::string path = folder + "/" + name;
        if (name == "." || name == ".." || path == leaveOut)
            continue;
        into[path] = DescribeEntry(path);
        if (into[path] == "dir")
            TakeSnapshot(path, leaveOut, into);
    }
    closedir(dir);
}

// The Wine prefix's drive and device links, which no name in a folder may reach.
static Snapshot DosDevices()
{
    Snapshot devices;
    const char *prefix = getenv("WINEPREFIX");
    if (prefix != NULL)
        TakeSnapshot(std::string(prefix) + "/dosdevices", "", devices);
    return devices;
}

enum EntryKind { FILE_ENTRY, DIR_ENTRY, LINK_ENTRY };

// One entry of the working folder: a file with its bytes, a directory with one file of
// those bytes (empty when there are none), or a link to its target. `fixed` is the name
// it must bear after the walk (# stands for the run-wide counter), NULL for unchanged.
// `leftAlone` counts the entries whose names needed fixing but could not be renamed: the
// box at the end of the walk names them.
struct Entry { EntryKind kind; const char *name; const char *payload; const char *fixed; };
struct HostileCase { const char *what; std::vector<Entry> entries; int leftAlone; };

// A root with the working folder and, beside it, what its names could reach outside it.
struct HostileRoot {
    TestFolder root;
    std::string work;
    HostileRoot()
    {
        root.MakeDir("work");
        root.WriteFile(u8"Цель.txt", "target");
        root.MakeDir(u8"Дом");
        root.WriteFile(u8"Дом/Вещи.txt", "things");
        root.WriteFile(u8"Фото.txt", "parent's photo");
        work = root.Path("work");
        TextCopy(workDir, sizeof workDir, (root.winPath + "\\work").c_str());
    }
    void Make(const Entry &entry) const
    {
        std::string path = "work/" + std::string(entry.name);
        if (entry.kind == FILE_ENTRY) {
            root.WriteFile(path, entry.payload);
        } else if (entry.kind == DIR_ENTRY) {
            root.MakeDir(path);
            if (entry.payload != NULL)
                root.WriteFile(path + "/inside.txt", entry.payload);
        } else {
            ASSERT_EQ(0, symlink(entry.payload, root.Path(path).c_str())) << path;
        }
    }
    // The entry, under its final name, is still what it was made as.
    void ExpectKept(const Entry &entry, const std::string &name) const
    {
        static const char *const kinds[] = {"file ", "dir", "link "};
        std::string path = work + "/" + name;
        std::string made = kinds[entry.kind];
        if (entry.kind != DIR_ENTRY)
            made += entry.payload;
        EXPECT_EQ(made, DescribeEntry(path)) << name;
        if (entry.kind == DIR_ENTRY) {
            std::vector<std::string> inside;
            if (entry.payload != NULL)
                inside.push_back("inside.txt");
            EXPECT_EQ(inside, root.List("work/" + name)) << name;
        }
        if (entry.kind == DIR_ENTRY && entry.payload != NULL) {
            EXPECT_EQ("file " + std::string(entry.payload), DescribeEntry(path + "/inside.txt"));
        }
    }
};

static std::string FinalName(const Entry &entry, int counter)
{
    std::string name = entry.fixed != NULL ? entry.fixed : entry.name;
    size_t mark = name.find('#');
    if (mark != std::string::npos)
        name.replace(mark, 1, std::to_string(counter));
    return name;
}

TEST(HostileFolder, EveryEntryRenamedOnlyAsItselfAndNeverOverAnother)
{
    const HostileCase cases[] = {
        {"links are renamed as themselves", {
            {LINK_ENTRY, u8"Ссылка.txt", u8"../Цель.txt", "ss_lka.txt"},
            {LINK_ENTRY, u8"Папка-ссылка", u8"../Дом", "papka_ss_lka"}}, 0},
        {"backslashes, also full-width ones the code page turns into \\ and .", {
            {FILE_ENTRY, u8"..\\Фото.txt", "a", NULL},
            {FILE_ENTRY, u8"\uff0e\uff0e\uff3cФото.txt", "b", NULL},
            {FILE_ENTRY, u8"Дом\\Вещи.txt", "c", NULL},
            {FILE_ENTRY, u8"Фото.JPG", "plain", "foto.jpg"}}, 3},
        {"drive prefixes", {
            {FILE_ENTRY, u8"c:Фото.txt", "a", NULL},
            {FILE_ENTRY, u8"Z:..\\Фото.txt", "b", NULL},
            {DIR_ENTRY, u8"C:", "c", NULL}}, 3},
        {"a trailing dot or blank beside the rightly named sibling", {
            {FILE_ENTRY, "Pic.JPG.", "dot", NULL},
            {FILE_ENTRY, "Pic.JPG", "right", "pic.jpg"},
            {FILE_ENTRY, "Pic2.JPG ", "blank", NULL},
            {FILE_ENTRY, "Pic2.JPG", "right too", "pic2.jpg"},
            {DIR_ENTRY, u8"Папка.", "dot", NULL},
            {DIR_ENTRY, u8"Папка", "right", "papka"}}, 3},
        {"device names, also one that the fix would make", {
            {FILE_ENTRY, "COM1.TXT", "a", NULL},
            {FILE_ENTRY, "AUX.JPG", "b", NULL},
            {FILE_ENTRY, "Nul", "c", NULL},
            {FILE_ENTRY, "CON .txt", "d", NULL},
            {DIR_ENTRY, "Lpt9", "e", NULL},
            {FILE_ENTRY, u8"СОМ1.TXT", "Cyrillic letters", "som1.txt"},
            {FILE_ENTRY, u8"АUX.JPG", "Cyrillic A", NULL}}, 6},
        {"best-fit names with no namesake", {
            {FILE_ENTRY, u8"Café.JPG", "accent", NULL},
            {FILE_ENTRY, u8"Pic\uff0eJPG", "full-width dot", NULL}}, 2},
        {"a best-fit name beside its namesake", {
            {FILE_ENTRY, u8"Café.JPG", "accent", NULL},
            {FILE_ENTRY, "Cafe.JPG", "plain", "cafe.jpg"}}, 1},
        {"names outside the code page, and a literal ?", {
            {FILE_ENTRY, u8"Фото \u65e5\u672c.jpg", "kanji", NULL},
            {FILE_ENTRY, u8"Ёлка\u2603.JPG", "snowman", NULL},
            {FILE_ENTRY, u8"Что?.txt", "question", NULL}}, 3},
        {"an existing file is never replaced", {
            {FILE_ENTRY, u8"Фото.txt", "new", "foto.txt#"},
            {FILE_ENTRY, "foto.txt", "old", NULL}}, 0},
        {"an existing empty directory is never replaced", {
            {DIR_ENTRY, u8"Папка", "full", "papka#"},
            {DIR_ENTRY, "papka", NULL, NULL}}, 0},
        {"an existing link is never replaced", {
            {FILE_ENTRY, u8"Цель.txt", "mine", "cel_.txt#"},
            {LINK_ENTRY, "cel_.txt", u8"../Цель.txt", NULL}}, 0},
        {"a link never replaces a directory", {
            {LINK_ENTRY, u8"Ссылка", u8"../Дом", "ss_lka#"},
            {DIR_ENTRY, "ss_lka", NULL, NULL}}, 0},
    };
    for (const HostileCase &c : cases) {
        SCOPED_TRACE(c.what);
        StartProgram();
        HostileRoot folder;
        for (const Entry &entry : c.entries)
            folder.Make(entry);
        Snapshot outside, devices = DosDevices();
        ASSERT_FALSE(devices.empty()) << "the prefix has its drive and device links";
        TakeSnapshot(folder.root.unixPath, folder.work, outside);
        int counter = renameCounter;
        BoxWatch boxes;

        FixFileNames();

        EXPECT_EQ(0u, boxes.seen.size()) << Describe(boxes.seen);
        ASSERT_EQ(1u, boxes.summaries.size());
        std::string failed = "Не удалось переименовать: " + std::to_string(c.leftAlone) + "\n";
        EXPECT_NE(std::string::npos, boxes.summaries[0].text.find(failed)) << AnsiToUtf8(boxes.summaries[0].text);
        Snapshot outsideAfter;
        TakeSnapshot(folder.root.unixPath, folder.work, outsideAfter);
        EXPECT_EQ(outside, outsideAfter);
        EXPECT_EQ(devices, DosDevices());
        std::vector<std::string> expected;
        for (const Entry &entry : c.entries) {
            expected.push_back(FinalName(entry, counter));
            folder.ExpectKept(entry, expected.back());
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, folder.root.List("work"));
    }
}

// Case twins: the chooser's path field shows small letters, but the folder chosen must be
// the folder both jobs work in.
TEST(CaseTwins, TheChosenFolderIsTheFolderBothJobsUse)
{
    StartProgram();
    TestFolder root;
    root.MakeDir("Photos");
    root.MakeDir("photos");
    ASSERT_TRUE(SaveTestImage(root.Path(u8"Photos/Фото.JPG"), FIF_JPEG, 300, 200));
    ASSERT_TRUE(SaveTestImage(root.Path(u8"photos/Фото.JPG"), FIF_JPEG, 300, 200));
    TextCopy(browseSpec, sizeof browseSpec, (root.winPath + "\\*.*").c_str());
    const std::string chosen = root.winPath + "\\Photos";

    BoxWatch watch;
    std::string jobDir;
    watch.Then(Steps([&](HWND jobDialog) {
        watch.Then(Steps([&](HWND chooser) {
            EXPECT_TRUE(DoubleClickEntry(chooser, IDC_DIR_LIST, "[Photos]"));
            ClickNow(chooser, IDC_DIR_OPEN);
        }));
        ClickNow(jobDialog, IDC_JOB_OPEN);
        jobDir = ControlText(jobDialog, IDC_JOB_DIR);
        watch.Then(Press(IDC_REC_DEFAULT));
        PressNow(jobDialog, IDC_RUN);
    }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_THUMBNAILS, 0);
    EXPECT_EQ(chosen, jobDir);
    EXPECT_EQ(chosen, workDir);

    watch.Then(Steps([&](HWND nameFix) { PressNow(nameFix, IDOK); }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_NAME_FIX, 0);

    EXPECT_EQ(4u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ((std::vector<std::string>{"foto.jpg", "imagelog.sql", "thumbnails"}), root.List("Photos"));
    EXPECT_EQ(std::vector<std::string>{u8"Фото_small.jpg"}, root.List("Photos/thumbnails"));
    EXPECT_EQ(std::vector<std::string>{u8"Фото.JPG"}, root.List("photos"));
}
