// The rename walk on real folders: Cyrillic UTF-8 names on disk, collisions with the
// run-wide counter, directories renamed but not entered, and a large folder.
#include "gtest_win.h"
#include "boxwatch.h"
#include "fixture.h"

#include "base/state.h"
#include "namefix/namefix.h"

#include <string.h>

struct NameCase { const char *name; const char *fixed; };

// Names as the ANSI calls see them (Windows-1251 bytes in this file's literals).
TEST(FixedName, TransliteratesAndLowerCases)
{
    const NameCase cases[] = {
        {"Фото Отпуск (1).JPG", "foto_otpusk__1_.jpg"},
        {"Юля-Ёлка.txt", "ulj_elka.txt"},
        {"Київ.jpg", "kiiv.jpg"},
        {"Сын.txt", "s_n.txt"},
        {"Жёлтый.bmp", "jelt_y.bmp"},
        {"Новая папка", "novaj_papka"},
        {"data.txt", "data.txt"},
        {"IMG_0001.JPG", "img_0001.jpg"},
        {"Літо.jpg", "lіto.jpg"},     // Ukrainian і is not in the table
        {"ІРА №5.jpg", "Іra_№5.jpg"},  // nor its capital, nor the numero sign
        {"ЪЫЬъыь", "______"},
        {"ЩЦЧШ Ў ў Є є Ї ї", "sccs_y_y_e_e_i_i"},
        {".", "."},
        {"..", ".."},
    };
    for (const NameCase &c : cases) {
        char fixed[PATH_CAP];
        ASSERT_EQ(1, MakeFixedName(c.name, fixed, sizeof fixed));
        EXPECT_STREQ(c.fixed, fixed) << AnsiToUtf8(c.name);
        // a fixed name is its own fixed name, so a second walk changes nothing
        char again[PATH_CAP];
        MakeFixedName(fixed, again, sizeof again);
        EXPECT_STREQ(fixed, again);
    }
}

// Every byte of the code page on its own: the 76 of the table become what this list,
// written out apart from the program's table, says; A to Z become small; all else stays.
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
        // between two letters, so that the byte is neither first nor last of the name
        char name[4] = {'x', (char)byte, 'x', 0};
        char fixed[PATH_CAP];
        ASSERT_EQ(1, MakeFixedName(name, fixed, sizeof fixed));
        EXPECT_EQ(std::string({'x', expected, 'x'}), std::string(fixed)) << "byte 0x" << std::hex << byte;
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
    BoxWatch boxes;
};

TEST_F(RenameWalk, GivesEveryEntryItsPlainNameAndKeepsContents)
{
    folder.WriteFile(u8"Фото Отпуск (1).JPG", "one");
    folder.WriteFile(u8"Юля-Ёлка.txt", "two");
    folder.WriteFile(u8"Київ.jpg", "three");
    folder.WriteFile(u8"Літо.jpg", "four");
    folder.WriteFile("IMG_0001.JPG", "five");
    folder.WriteFile("data.txt", "six");
    folder.MakeDir(u8"Новая папка");
    folder.WriteFile(u8"Новая папка/Фото.JPG", "inside");

    FixFileNames();

    EXPECT_EQ(0u, boxes.seen.size()) << Describe(boxes.seen);
    std::vector<std::string> expected = {
        "data.txt", "foto_otpusk__1_.jpg", "img_0001.jpg", "kiiv.jpg", u8"lіto.jpg",
        "novaj_papka", "ulj_elka.txt"};
    EXPECT_EQ(expected, folder.List());
    EXPECT_EQ("one", folder.ReadFile("foto_otpusk__1_.jpg"));
    EXPECT_EQ("five", folder.ReadFile("img_0001.jpg"));
    EXPECT_EQ("four", folder.ReadFile(u8"lіto.jpg"));
    // subdirectories are renamed, not entered
    EXPECT_EQ(std::vector<std::string>{u8"Фото.JPG"}, folder.List("novaj_papka"));

    // a second walk over the fixed folder renames nothing
    int counter = renameCounter;
    FixFileNames();
    EXPECT_EQ(expected, folder.List());
    EXPECT_EQ(counter, renameCounter);
}

TEST_F(RenameWalk, CollisionsTakeTheRunWideCounter)
{
    folder.WriteFile("foto.jpg", "latin");
    folder.WriteFile(u8"Фото.jpg", "cyrillic");
    int start = renameCounter;

    FixFileNames();

    std::string suffixed = "foto.jpg" + std::to_string(start);
    EXPECT_EQ((std::vector<std::string>{"foto.jpg", suffixed}), folder.List());
    EXPECT_EQ("latin", folder.ReadFile("foto.jpg"));
    EXPECT_EQ("cyrillic", folder.ReadFile(suffixed));
    EXPECT_EQ(start + 2, renameCounter);

    // a later walk, over another folder, goes on counting
    TestFolder other;
    other.WriteFile("foto.jpg", "a");
    other.WriteFile(u8"ФОТО.JPG", "b");
    TextCopy(workDir, sizeof workDir, other.winPath.c_str());
    FixFileNames();
    EXPECT_TRUE(other.Exists("foto.jpg" + std::to_string(start + 2))) << testing::PrintToString(other.List());
    EXPECT_EQ(start + 4, renameCounter);
}

TEST_F(RenameWalk, TakenSuffixedNameLeavesTheEntryAlone)
{
    int start = renameCounter;
    folder.WriteFile("foto.jpg", "latin");
    folder.WriteFile("foto.jpg" + std::to_string(start), "taken");
    folder.WriteFile(u8"Фото.jpg", "cyrillic");

    FixFileNames();

    EXPECT_EQ("cyrillic", folder.ReadFile(u8"Фото.jpg"));
    EXPECT_EQ("taken", folder.ReadFile("foto.jpg" + std::to_string(start)));
    EXPECT_EQ(start + 1, renameCounter);
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

TEST_F(RenameWalk, CaseOnlyRenameAgainstAnExistingSmallName)
{
    // both spellings exist on a case-sensitive disk: the capitals collide with the small one
    folder.WriteFile("IMG.JPG", "capitals");
    folder.WriteFile("img.jpg", "small");
    int start = renameCounter;

    FixFileNames();

    std::string suffixed = "img.jpg" + std::to_string(start);
    EXPECT_EQ((std::vector<std::string>{"img.jpg", suffixed}), folder.List());
    EXPECT_EQ("small", folder.ReadFile("img.jpg"));
    EXPECT_EQ("capitals", folder.ReadFile(suffixed));
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

TEST_F(RenameWalk, MissingWorkDirRenamesNothingAndSaysWhere)
{
    // the current directory holds a name that would be fixed: it must stay as it is
    folder.WriteFile(u8"Фото.jpg", "x");
    SetCurrentDirectoryA(folder.winPath.c_str());
    std::string missing = folder.winPath + "\\gone";
    TextCopy(workDir, sizeof workDir, missing.c_str());
    boxes.Then(Press(IDOK));

    FixFileNames();

    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].caption);
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find(missing)) << AnsiToUtf8(boxes.seen[0].text);
    EXPECT_EQ(ICON_INFORMATION, boxes.seen[0].icon);
    EXPECT_EQ(NULL, boxes.seen[0].owner);
    EXPECT_EQ(std::vector<std::string>{u8"Фото.jpg"}, folder.List());
}

TEST_F(RenameWalk, NameOutsideTheCodePageIsLeftAlone)
{
    // the search hands such a name over with '?' in place of what 1251 cannot hold;
    // nothing may be renamed under a wrong name, and the rest of the folder is still fixed
    const std::string kanjiName = u8"Фото \u65e5\u672c.jpg";
    folder.WriteFile(kanjiName, "kanji");
    folder.WriteFile(u8"Фото.JPG", "plain");

    FixFileNames();

    std::vector<std::string> expected = {"foto.jpg", kanjiName};
    EXPECT_EQ(expected, folder.List());
    EXPECT_EQ("kanji", folder.ReadFile(kanjiName));
}
