// The base floor's own helpers: the bounded copies (buffers filled exactly, and one byte
// over), the numbers in text, and the check that a listed name is the plain name of its
// entry.
#include "gtest_win.h"
#include "fixture.h"
#include "base/base.h"
#include "base/state.h"

#include <limits.h>
#include <string.h>

struct CopyCase { const char *src; size_t cap; const char *expected; int fit; };

TEST(TextCopy, FitsExactlyOrCutsSafely)
{
    const CopyCase cases[] = {
        {"", 1, "", 1},
        {"abc", 4, "abc", 1},
        {"abcd", 4, "abc", 0},
        {"abc", 1, "", 0},
        {"photo.j", 8, "photo.j", 1},
        {"photo.jp", 8, "photo.j", 0},
    };
    for (const CopyCase &c : cases) {
        char buffer[8];
        memset(buffer, 'x', sizeof buffer);
        int fit = TextCopy(buffer, c.cap, c.src);
        EXPECT_EQ(c.fit, fit) << c.src << " into " << c.cap;
        EXPECT_STREQ(c.expected, buffer) << c.src << " into " << c.cap;
        for (size_t i = c.cap; i < sizeof buffer; i++)
            EXPECT_EQ('x', buffer[i]) << "wrote past the buffer at " << i;
    }
    char none[1] = {'x'};
    EXPECT_EQ(0, TextCopy(none, 0, "a"));
    EXPECT_EQ('x', none[0]);
}

TEST(TextAppend, JoinsUpToTheLastByte)
{
    char path[PATH_CAP];
    std::string dir(247, 'd');
    TextCopy(path, sizeof path, dir.c_str());
    EXPECT_EQ(1, TextAppend(path, sizeof path, "\\thumbnails\\"));
    EXPECT_EQ(259u, strlen(path));
    EXPECT_EQ(0, TextAppend(path, sizeof path, "x"));
    EXPECT_EQ(259u, strlen(path));

    TextCopy(path, sizeof path, (dir + "d").c_str());
    EXPECT_EQ(0, TextAppend(path, sizeof path, "\\thumbnails\\"));
    EXPECT_EQ(259u, strlen(path));
}

TEST(TextAppend, NumbersInDecimal)
{
    char text[32] = "";
    TextAppendInt(text, sizeof text, 0);
    TextAppend(text, sizeof text, ",");
    TextAppendInt(text, sizeof text, -150);
    TextAppend(text, sizeof text, ",");
    TextAppendInt(text, sizeof text, LLONG_MIN);
    EXPECT_STREQ("0,-150,-9223372036854775808", text);

    char size[32] = "";
    TextAppendUnsigned(size, sizeof size, 3221225472ULL);  // 3 GiB stays positive
    EXPECT_STREQ("3221225472", size);

    char tiny[4] = "";
    EXPECT_EQ(0, TextAppendInt(tiny, sizeof tiny, 12345));
    EXPECT_STREQ("123", tiny);
}

// Digits read up to the first other character or the length, saturating at the ceiling.
TEST(TextDigitsValue, StopsAtTheFirstNonDigitAndSaturates)
{
    struct Case { const char *text; size_t length; unsigned long long ceiling, value; size_t digits; };
    const Case cases[] = {
        {"150", 3, 0xFFFFFFFF, 150, 3},        {"150 x", 5, 0xFFFFFFFF, 150, 3},
        {"15000", 2, 0xFFFFFFFF, 15, 2},       {"x1", 2, 0xFFFFFFFF, 0, 0},
        {"4294967295", 10, 0xFFFFFFFF, 4294967295ull, 10},
        {"4294967296", 10, 0xFFFFFFFF, 0xFFFFFFFF, 10},
        {"99999999999999999999999", 23, 0xFFFFFFFF, 0xFFFFFFFF, 23},
        {"86401", 5, 86400, 86400, 5},         {"", 0, 10, 0, 0},
    };
    for (const Case &c : cases) {
        unsigned long long value = 1;
        EXPECT_EQ(c.digits, TextDigitsValue(c.text, c.length, c.ceiling, &value)) << c.text;
        EXPECT_EQ(c.value, value) << c.text;
    }
}

TEST(PlainEntryName, RefusesWhatWin32ReadsAsSomethingElse)
{
    const char *plain[] = {"foto.jpg", "Фото Отпуск (1).JPG", ".hidden", "a..b", "com10.txt",
                           "com0", "console.txt", "auxiliary", "nul_", "lpt", "x.con"};
    const char *refused[] = {"", ".", "..", "..\\x", "a/b", "c:x", "x:", "a*", "a?", "a\"b", "a<b",
                             "a>b", "a|b", "tab\tname", "dot.", "blank ", "CON", "con.txt",
                             "CON .txt", "Aux.JPG", "nul", "COM1", "com9.tar.gz", "LPT1.TXT",
                             "conin$", "CONOUT$.log"};
    for (const char *name : plain)
        EXPECT_TRUE(IsPlainEntryName(name)) << AnsiToUtf8(name);
    for (const char *name : refused)
        EXPECT_FALSE(IsPlainEntryName(name)) << AnsiToUtf8(name);
}
