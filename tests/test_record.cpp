// One record of the image log: the statement's bytes for awkward values, and the
// description dialog as the user meets it (fields shown, Ok, Default, Esc, Enter).
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <string.h>

#include <functional>

static const int recordIds[9] = {IDC_REC_NAME, IDC_REC_IMG_NAME, IDC_REC_COMMENTARY,
                                 IDC_REC_WIDTH, IDC_REC_HEIGHT, IDC_REC_SIZE,
                                 IDC_REC_DATE, IDC_REC_SEC_ID, IDC_REC_DIR};

// Runs an action from the dialog's own message loop, once it is shown and has its focus:
// the watch answers while the dialog is still being activated.
static std::function<void()> laterAction;
static void CALLBACK RunLater(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    std::function<void()> action = laterAction;
    laterAction = nullptr;
    if (action)
        action();
}
static void Later(std::function<void()> action)
{
    laterAction = action;
    SetTimer(NULL, 0, 50, RunLater);
}

static char *Field(int index)
{
    char *fields[9] = {PhotoRecord.name, PhotoRecord.img_name, PhotoRecord.commentary,
                       PhotoRecord.width, PhotoRecord.height, PhotoRecord.size,
                       PhotoRecord.date, PhotoRecord.sec_id, PhotoRecord.dir};
    return fields[index];
}

// WriteImageRecord as the batch calls it: an open log, a loaded 800 x 600 image and the
// find record of its file.
class Record : public testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        SetCurrentDirectoryA(folder.winPath.c_str());
        imageLog = CreateFileA("imagelog.sql", GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, imageLog);
        sourceWidth = 800;
        sourceHeight = 600;
    }
    void TearDown() override
    {
        CloseHandle(imageLog);
        imageLog = INVALID_HANDLE_VALUE;
    }
    void Entry(const std::string &ansiName, unsigned long long size)
    {
        TextCopy(WFD.cFileName, sizeof WFD.cFileName, ansiName.c_str());
        WFD.nFileSizeHigh = (DWORD)(size >> 32);
        WFD.nFileSizeLow = (DWORD)size;
    }
    std::string Log() const { return folder.ReadFile("imagelog.sql"); }

    TestFolder folder;
    BoxWatch watch;
};

static std::string Statement(const std::string &values)
{
    return "INSERT INTO photo_img (`name`, `img_name`, `commentary`, `width`, `height`, `size`, "
           "`date`, `sec_id`, `dir`) VALUES (" + values + ");\n";
}

struct LiteralCase {
    const char *label;
    std::string name, commentary, secId, dir;  // Windows-1251 bytes
    std::string expectedValues;                // with 'D' standing for the date stamp
};

// Quotes and backslashes are doubled, every other byte is kept: 1251 letters, CR LF.
TEST_F(Record, ValuesBecomeMySqlLiterals)
{
    const LiteralCase cases[] = {
        {"plain", "photo.jpg", "", "", "", "'photo.jpg','photo.jpg','','800','600','65536','D','',''"},
        {"quote in the name", "O'Neil.jpg", "", "", "",
         "'O''Neil.jpg','O''Neil.jpg','','800','600','65536','D','',''"},
        {"quote at the start and end", "'a'.jpg", "'", "''", "",
         "'''a''.jpg','''a''.jpg','''','800','600','65536','D','''''',''"},
        {"backslashes", "photo.jpg", "a\\b", "\\", "C:\\photos\\",
         "'photo.jpg','photo.jpg','a\\\\b','800','600','65536','D','\\\\','C:\\\\photos\\\\'"},
        {"backslash before a quote", "photo.jpg", "\\'", "", "",
         "'photo.jpg','photo.jpg','\\\\''','800','600','65536','D','',''"},
        {"Cyrillic stays Windows-1251", "Фото ёж.jpg", "Красная площадь", "", "папка",
         "'Фото ёж.jpg','Фото ёж.jpg','Красная площадь','800','600','65536','D','','папка'"},
        {"two-line commentary", "photo.jpg", "first\r\nsecond", "3", "",
         "'photo.jpg','photo.jpg','first\r\nsecond','800','600','65536','D','3',''"},
    };
    std::string expected;
    for (const LiteralCase &c : cases) {
        recordDefaultsSet = 1;
        Entry(c.name, 65536);
        TextCopy(PhotoRecord.commentary, FIELD_CAP, c.commentary.c_str());
        TextCopy(PhotoRecord.sec_id, FIELD_CAP, c.secId.c_str());
        TextCopy(PhotoRecord.dir, FIELD_CAP, c.dir.c_str());
        EXPECT_EQ(1, WriteImageRecord());
        std::string values = c.expectedValues;
        values.replace(values.find("'D'"), 3, "'" + std::string(dateStamp) + "'");
        expected += Statement(values);
        EXPECT_EQ(expected, Log()) << c.label;
    }
    EXPECT_TRUE(watch.seen.empty()) << Describe(watch.seen);
}

// Full fields that are all quotes: the statement doubles every byte and still fits.
TEST_F(Record, LongestValuesFitTheStatement)
{
    recordDefaultsSet = 1;
    Entry("photo.jpg", 1);
    std::string quotes(999, '\'');
    TextCopy(PhotoRecord.commentary, FIELD_CAP, quotes.c_str());
    TextCopy(PhotoRecord.sec_id, FIELD_CAP, quotes.c_str());
    TextCopy(PhotoRecord.dir, FIELD_CAP, std::string(999, '\\').c_str());
    WriteImageRecord();
    std::string doubled(1998, '\'');
    EXPECT_EQ(Statement("'photo.jpg','photo.jpg','" + doubled + "','800','600','1','" + dateStamp + "','" +
                        doubled + "','" + std::string(1998, '\\') + "'"),
              Log());
}

// The size comes from both halves of the find record and is never negative.
TEST_F(Record, SizesOf2GiBAndMore)
{
    const unsigned long long sizes[] = {0, 2147483647ULL, 2147483648ULL, 4294967295ULL,
                                        4294967296ULL, 5000000000ULL};
    recordDefaultsSet = 1;
    for (unsigned long long size : sizes) {
        Entry("big.jpg", size);
        WriteImageRecord();
        EXPECT_STREQ(std::to_string(size).c_str(), PhotoRecord.size);
    }
    EXPECT_EQ(std::string::npos, Log().find("','-"));
}

// The first showing: six values of the image, the three typed ones still empty.
TEST_F(Record, DialogShowsTheNineValues)
{
    Entry("фото.jpg", 65536);
    std::string shown[9];
    HWND focus = NULL, okButton = NULL;
    watch.Then([&](HWND dialog) {
        for (int i = 0; i < 9; i++)
            shown[i] = ControlText(dialog, recordIds[i]);
        okButton = GetDlgItem(dialog, IDOK);
        Later([&focus, dialog]() {
            focus = GetFocus();
            // Enter right after the dialog opens confirms the values as shown
            PostMessageA(focus != NULL ? focus : dialog, WM_KEYDOWN, VK_RETURN, 0);
        });
    });
    WriteImageRecord();
    ASSERT_EQ(1u, watch.seen.size());
    EXPECT_FALSE(watch.seen[0].messageBox);
    EXPECT_EQ("Установка описаний файлов для сайта example.org", watch.seen[0].caption);
    EXPECT_EQ(mainWindow, watch.seen[0].owner);
    const std::string expected[9] = {"фото.jpg", "фото.jpg", "", "800", "600", "65536", dateStamp, "", ""};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(expected[i], shown[i]) << "control " << recordIds[i];
    EXPECT_EQ(okButton, focus);
    EXPECT_EQ(Statement("'фото.jpg','фото.jpg','','800','600','65536','" + std::string(dateStamp) + "','',''"),
              Log());
    EXPECT_EQ(0, recordDefaultsSet);
}

// Ok and Default read all nine back, Esc none; only Default sets the flag.
TEST_F(Record, OkDefaultAndEscWithTypedValues)
{
    struct Case { int button; bool readBack; int flagAfter; };
    const Case cases[] = {{IDOK, true, 0}, {IDC_REC_DEFAULT, true, 1}, {IDCANCEL, false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.button);
        recordDefaultsSet = 0;
        Entry("photo.jpg", 100);
        TextCopy(PhotoRecord.commentary, FIELD_CAP, "old");
        watch.Then([&](HWND dialog) {
            for (int i = 0; i < 9; i++)
                SetDlgItemTextA(dialog, recordIds[i], ("typed " + std::to_string(i)).c_str());
            PressNow(dialog, c.button);
        });
        WriteImageRecord();
        EXPECT_EQ(c.flagAfter, recordDefaultsSet);
        for (int i = 0; i < 9; i++) {
            std::string before[9] = {"photo.jpg", "photo.jpg", "old", "800", "600", "100", dateStamp, "", ""};
            EXPECT_EQ(c.readBack ? "typed " + std::to_string(i) : before[i], Field(i)) << "field " << i;
        }
        memset(&PhotoRecord, 0, sizeof PhotoRecord);
    }
    EXPECT_EQ(3u, watch.seen.size());
    EXPECT_EQ(0, watch.unanswered);
}

// A 1200-character text comes back as its first 999 characters, in every field.
TEST_F(Record, LongTextIsReadBackAs999Characters)
{
    Entry("photo.jpg", 100);
    std::string longText;
    for (int i = 0; i < 1200; i++)
        longText += (char)('a' + i % 26);
    watch.Then([&](HWND dialog) {
        for (int id : recordIds)
            SetDlgItemTextA(dialog, id, longText.c_str());
        PressNow(dialog, IDOK);
    });
    WriteImageRecord();
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(longText.substr(0, 999), Field(i)) << "field " << i;
}

// Enter in the commentary presses Ok too: the field takes no Enter of its own.
TEST_F(Record, EnterInTheCommentaryConfirms)
{
    Entry("photo.jpg", 100);
    watch.Then([](HWND dialog) {
        HWND commentary = GetDlgItem(dialog, IDC_REC_COMMENTARY);
        SetWindowTextA(commentary, "typed");
        Later([commentary]() {
            SetFocus(commentary);
            PostMessageA(commentary, WM_KEYDOWN, VK_RETURN, 0);
        });
    });
    WriteImageRecord();
    EXPECT_STREQ("typed", PhotoRecord.commentary);
    EXPECT_EQ(0, watch.unanswered);
}

// The template: no close box, a tool window, the controls in their Tab order.
TEST_F(Record, DialogTemplate)
{
    Entry("photo.jpg", 100);
    LONG style = 0, exStyle = 0;
    std::vector<int> ids;
    std::string labels;
    watch.Then([&](HWND dialog) {
        style = GetWindowLongA(dialog, GWL_STYLE);
        exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
        for (HWND child = GetWindow(dialog, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
            ids.push_back((short)GetDlgCtrlID(child));
            char text[512] = "";
            GetWindowTextA(child, text, sizeof text);
            labels += std::string(text) + "|";
        }
        PressNow(dialog, IDCANCEL);
    });
    WriteImageRecord();
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    const std::vector<int> expectedIds = {IDOK, 1012, 1013, 1009, 1015, 1016, 1022, 1018, 1019, 1017, -1,
                                          IDC_REC_DEFAULT, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(expectedIds, ids);
    EXPECT_NE(std::string::npos, labels.find("|При обработке Фотографий сайт example.org задает описание"));
    EXPECT_NE(std::string::npos, labels.find("|$desc - описание файла (МАХ=700 символов)|"));
    EXPECT_NE(std::string::npos, labels.find("|Только для $name', '$desc', '$date', '$rzd_num', '$dir|"));
}
