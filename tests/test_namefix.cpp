// The rename walk on real folders, hostile ones among them: Cyrillic UTF-8 names on disk,
// collisions with the run-wide counter, directories renamed but not entered, links, names
// that Win32 reads as something other than the entry listed, and case twins. The walk may
// rename only the entries of the working folder, each as itself, and never over another.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"

#include "base/state.h"
#include "namefix/namefix.h"
#include "res/resource.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef std::map<std::string, std::string> Snapshot;

// Every byte of the code page: the 76 of the table become what this list, written out
// apart from the program's table, says; A to Z become small; all else stays. Each byte
// stands first, inside and last in a name. A fixed name is its own fixed name, as every
// replacement is a small letter or '_', which stay.
TEST(FixedName, EveryByteOfTheCodePage)
{
    struct Entry { unsigned char byte; char becomes; };
    const Entry table[] = {
        // А Б В Г Д Е Ж З И Й К Л М Н О П Р С Т У Ф Х Ц Ч Ш Щ Ъ Ы Ь Э Ю Я
        {0xC0, 'a'}, {0xC1, 'b'}, {0xC2, 'v'}, {0xC3, 'g'}, {0xC4, 'd'}, {0xC5, 'e'}, {0xC6, 'j'}, {0xC7, 'z'},
        {0xC8, 'i'}, {0xC9, 'y'}, {0xCA, 'k'}, {0xCB, 'l'}, {0xCC, 'm'}, {0xCD, 'n'}, {0xCE, 'o'}, {0xCF, 'p'},
        {0xD0, 'r'}, {0xD1, 's'}, {0xD2, 't'}, {0xD3, 'u'}, {0xD4, 'f'}, {0xD5, 'h'}, {0xD6, 'c'}, {0xD7, 'c'},
        {0xD8, 's'}, {0xD9, 's'}, {0xDA, '_'}, {0xDB, '_'}, {0xDC, '_'}, {0xDD, 'e'}, {0xDE, 'u'}, {0xDF, 'j'},
        // Ё Є Ї ў
        {0xA8, 'e'}, {0xAA, 'e'}, {0xAF, 'i'}, {0xA2, 'y'},
        // а б в г д е ж з и й к л м н о п р с т у ф х ц ч ш щ ъ ы ь э ю я
        {0xE0, 'a'}, {0xE1, 'b'}, {0xE2, 'v'}, {0xE3, 'g'}, {0xE4, 'd'}, {0xE5, 'e'}, {0xE6, 'j'}, {0xE7, 'z'},
        {0xE8, 'i'}, {0xE9, 'y'}, {0xEA, 'k'}, {0xEB, 'l'}, {0xEC, 'm'}, {0xED, 'n'}, {0xEE, 'o'}, {0xEF, 'p'},
        {0xF0, 'r'}, {0xF1, 's'}, {0xF2, 't'}, {0xF3, 'u'}, {0xF4, 'f'}, {0xF5, 'h'}, {0xF6, 'c'}, {0xF7, 'c'},
        {0xF8, 's'}, {0xF9, 's'}, {0xFA, '_'}, {0xFB, '_'}, {0xFC, '_'}, {0xFD, 'e'}, {0xFE, 'u'}, {0xFF, 'j'},
        // ё є ї Ў
        {0xB8, 'e'}, {0xBA, 'e'}, {0xBF, 'i'}, {0xA1, 'y'},
        {' ', '_'}, {'(', '_'}, {')', '_'}, {'-', '_'},
    };
    ASSERT_EQ(76u, sizeof table / sizeof table[0]);
    ASSERT_EQ(76u, strlen(translitSource));
    for (int byte = 1; byte <= 0xFF; byte++) {
        char expected = byte >= 'A' && byte <= 'Z' ? (char)(byte + 32) : (char)byte;
        for (const Entry &entry : table)
            if (entry.byte == byte)
                expected = entry.becomes;
        char name[6] = {(char)byte, 'x', (char)byte, 'x', (char)byte, 0};
        char fixed[PATH_CAP];
        ASSERT_EQ(1, MakeFixedName(name, fixed, sizeof fixed));
        EXPECT_EQ(std::string({expected, 'x', expected, 'x', expected}), std::string(fixed))
            << "byte 0x" << std::hex << byte;
    }
}

class RenameWalk : public testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        TextCopy(workDir, sizeof workDir, folder.winPath.c_str());
    }
    TestFolder folder;
    BoxWatch boxes;  // answers the walk's summary
};

enum EntryKind { FILE_ENTRY, DIR_ENTRY, LINK_ENTRY };

// One entry of the working folder: a file with its bytes, a directory with one file of
// those bytes under a name the walk would change (none when NULL), or a link to its
// target. `fixed` is the name it must bear after the walk, NULL for unchanged; # in a name
// stands for the run-wide counter as the walk starts. `leftAlone` counts the entries whose
// names needed fixing but could not be renamed: the summary names them.
struct Entry { EntryKind kind; const char *name; const char *payload; const char *fixed; };
struct WalkCase { const char *what; std::vector<Entry> entries; int leftAlone; };

static std::string WithCounter(const char *name, int counter)
{
    std::string text = name;
    size_t mark = text.find('#');
    if (mark != std::string::npos)
        text.replace(mark, 1, std::to_string(counter));
    return text;
}

// The working folder work/ made as the entries say, beside what its names could reach
// outside it; the entries again as they must stand after the walk.
static Snapshot MakeWorkFolder(const TestFolder &root, const std::vector<Entry> &entries, int counter)
{
    root.MakeDir("work");
    root.WriteFile(u8"Цель.txt", "target");
    root.MakeDir(u8"Дом");
    root.WriteFile(u8"Дом/Вещи.txt", "things");
    root.WriteFile(u8"Фото.txt", "parent's photo");
    TextCopy(workDir, sizeof workDir, (root.winPath + "\\work").c_str());
    Snapshot after;
    for (const Entry &entry : entries) {
        std::string path = "work/" + WithCounter(entry.name, counter);
        std::string finalName = WithCounter(entry.fixed != NULL ? entry.fixed : entry.name, counter);
        if (entry.kind == FILE_ENTRY) {
            root.WriteFile(path, entry.payload);
            after[finalName] = entry.payload;
        } else if (entry.kind == LINK_ENTRY) {
            EXPECT_EQ(0, symlink(entry.payload, root.Path(path).c_str())) << path;
            after[finalName] = "-> " + std::string(entry.payload);
        } else {
            root.MakeDir(path);
            after[finalName + "/"] = "";
            if (entry.payload != NULL) {
                root.WriteFile(path + u8"/Внутри.JPG", entry.payload);
                after[finalName + u8"/Внутри.JPG"] = entry.payload;
            }
        }
    }
    return after;
}

// Everything in the root but the working folder.
static Snapshot Outside(const TestFolder &root)
{
    Snapshot outside = FolderSnapshot(root.unixPath);
    for (auto at = outside.begin(); at != outside.end();)
        at = at->first.compare(0, 5, "work/") == 0 ? outside.erase(at) : std::next(at);
    return outside;
}

// A collision renamed with the counter advances it by 2, an entry left alone by 1; a second
// walk over a folder where every entry was fixed renames nothing.
TEST(RenameWalkCases, EveryEntryRenamedOnlyAsItselfAndNeverOverAnother)
{
    const WalkCase cases[] = {
        {"plain names, a directory renamed but not entered, a name already fixed", {
            {FILE_ENTRY, u8"Фото Отпуск (1).JPG", "one", "foto_otpusk__1_.jpg"},
            {FILE_ENTRY, u8"Юля-Ёлка.txt", "two", "ulj_elka.txt"},
            {FILE_ENTRY, u8"Київ.jpg", "three", "kiiv.jpg"},
            {FILE_ENTRY, u8"Літо.jpg", "four", u8"lіto.jpg"},
            {FILE_ENTRY, "IMG_0001.JPG", "five", "img_0001.jpg"},
            {FILE_ENTRY, "data.txt", "six", NULL},
            {DIR_ENTRY, u8"Новая папка", "inside", "novaj_papka"}}, 0},
        {"a change of case alone against the small name", {
            {FILE_ENTRY, "IMG.JPG", "capitals", "img.jpg#"},
            {FILE_ENTRY, "img.jpg", "small", NULL}}, 0},
        {"the counter's name taken as well", {
            {FILE_ENTRY, u8"Фото.jpg", "cyrillic", NULL},
            {FILE_ENTRY, "foto.jpg", "latin", NULL},
            {FILE_ENTRY, "foto.jpg#", "taken", NULL}}, 1},
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
            {FILE_ENTRY, u8"Что?.txt", "question", NULL},
            {FILE_ENTRY, u8"Фото.JPG", "plain", "foto.jpg"}}, 3},
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
    for (const WalkCase &c : cases) {
        SCOPED_TRACE(c.what);
        StartProgram();
        TestFolder root;
        int counter = renameCounter;
        Snapshot after = MakeWorkFolder(root, c.entries, counter);
        const std::string dosDevices = std::string(getenv("WINEPREFIX")) + "/dosdevices";
        Snapshot outside = Outside(root), devices = FolderSnapshot(dosDevices);
        ASSERT_FALSE(devices.empty()) << "the prefix has its drive and device links";
        int suffixed = 0;
        for (const Entry &entry : c.entries)
            suffixed += entry.fixed != NULL && strchr(entry.fixed, '#') != NULL;
        BoxWatch boxes;

        FixFileNames();

        EXPECT_EQ(0u, boxes.seen.size()) << Describe(boxes.seen);
        ASSERT_EQ(1u, boxes.summaries.size());
        std::string failed = "Не удалось переименовать: " + std::to_string(c.leftAlone) + "\n";
        EXPECT_NE(std::string::npos, boxes.summaries[0].text.find(failed)) << AnsiToUtf8(boxes.summaries[0].text);
        EXPECT_EQ(after, FolderSnapshot(root.Path("work")));
        EXPECT_EQ(outside, Outside(root));
        EXPECT_EQ(devices, FolderSnapshot(dosDevices));
        EXPECT_EQ(counter + 2 * suffixed + c.leftAlone, renameCounter);

        if (c.leftAlone == 0) {
            FixFileNames();
            EXPECT_EQ(after, FolderSnapshot(root.Path("work")));
            EXPECT_EQ(counter + 2 * suffixed, renameCounter);
        }
    }
}

TEST_F(RenameWalk, TwoNamesThatFixAlikeShareOutByCounter)
{
    folder.WriteFile(u8"Фото 1.jpg", "blank");
    folder.WriteFile(u8"Фото_1.jpg", "underscore");
    int start = renameCounter;

    FixFileNames();

    std::vector<std::string> names = folder.List();
    std::string suffixed = "foto_1.jpg" + std::to_string(start);
    EXPECT_EQ((std::vector<std::string>{"foto_1.jpg", suffixed}), names);
    std::string contents = folder.ReadFile("foto_1.jpg") + "+" + folder.ReadFile(suffixed);
    EXPECT_TRUE(contents == "blank+underscore" || contents == "underscore+blank") << contents;
}

TEST_F(RenameWalk, NameTooLongForTheCounterKeepsItsName)
{
    std::string longName = std::string(251, 'A') + ".JPG";  // 255 bytes, the disk's limit
    std::string fixed = std::string(251, 'a') + ".jpg";
    folder.WriteFile(longName, "long");
    folder.WriteFile(fixed, "taken");
    int saved = renameCounter;
    renameCounter = 12345;  // five digits more would make 260 characters

    FixFileNames();

    EXPECT_EQ("long", folder.ReadFile(longName));
    EXPECT_EQ("taken", folder.ReadFile(fixed));
    EXPECT_EQ(2u, folder.List().size());
    EXPECT_EQ(12346, renameCounter);
    renameCounter = saved;
}

TEST_F(RenameWalk, ThousandEntriesAllFixedOnce)
{
    const int count = 1200;
    for (int i = 0; i < count; i++)
        folder.WriteFile(u8"Снимок " + std::to_string(i) + ".JPG", std::to_string(i));
    int start = renameCounter;

    FixFileNames();

    std::vector<std::string> names = folder.List();
    ASSERT_EQ((size_t)count, names.size());
    for (int i = 0; i < count; i++) {
        std::string name = "snimok_" + std::to_string(i) + ".jpg";
        EXPECT_EQ(std::to_string(i), folder.ReadFile(name)) << name;
    }
    EXPECT_EQ(start, renameCounter);
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
