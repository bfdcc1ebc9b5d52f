// The row of one image as the job writes it: the statement's bytes for awkward values,
// and the description dialog as the user meets it (fields shown, Ok, Default, Esc, Enter).
#include "gtest_win.h"
#include "fixture.h"
#include "boxwatch.h"
#include "images.h"
#include "jobs.h"
#include "jobtexts.h"
#include "base/state.h"
#include "res/resource.h"

#include <unistd.h>

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

// Types the nine values (empty ones left as shown) and presses the button.
static BoxAnswer Type(const std::vector<std::string> &values, int button)
{
    return [values, button](HWND dialog) {
        for (size_t i = 0; i < values.size(); i++) {
            if (!values[i].empty())
                SetDlgItemTextA(dialog, recordIds[i], values[i].c_str());
        }
        PressNow(dialog, button);
    };
}

// The statement of the values, with 'S' in them for the size of the named file and 'D'
// for the date stamp.
static std::string ExpectedRow(const TestFolder &folder, std::string values, const std::string &name)
{
    values.replace(values.find("'S'"), 3, "'" + std::to_string(folder.ReadFile(name).size()) + "'");
    values.replace(values.find("'D'"), 3, "'" + std::string(dateStamp) + "'");
    return Statement(values);
}

// One 800 x 600 photo per job, run as Run! runs it.
class Record : public testing::Test {
protected:
    void SetUp() override { StartProgram(); }
    void Photo(const std::string &name) { ASSERT_TRUE(SaveTestImage(folder.Path(name), FIF_JPEG, 800, 600)); }
    void Run() { RunThumbnailJob(folder.winPath); }
    std::string Log() const { return folder.ReadFile("imagelog.sql"); }
    TestFolder folder;
    BoxWatch watch;
};

struct LiteralCase {
    const char *label;
    std::string name;                     // UTF-8, on disk
    std::string commentary, secId, dir;   // Windows-1251 bytes, typed
    std::string expectedValues;           // Windows-1251 bytes
};

// Quotes and backslashes are doubled, every other byte is kept: 1251 letters, CR LF; full
// fields that are all quotes double every byte and still fit the statement.
TEST_F(Record, ValuesBecomeMySqlLiterals)
{
    const std::string quotes(999, '\''), doubled(1998, '\'');
    const LiteralCase cases[] = {
        {"plain", "photo.jpg", "", "", "", "'photo.jpg','photo.jpg','','800','600','S','D','',''"},
        {"quote in the name", "O'Neil.jpg", "", "", "", "'O''Neil.jpg','O''Neil.jpg','','800','600','S','D','',''"},
        {"quote at the start and end", "'a'.jpg", "'", "''", "",
         "'''a''.jpg','''a''.jpg','''','800','600','S','D','''''',''"},
        {"backslashes", "photo.jpg", "a\\b", "\\", "C:\\photos\\",
         "'photo.jpg','photo.jpg','a\\\\b','800','600','S','D','\\\\','C:\\\\photos\\\\'"},
        {"backslash before a quote", "photo.jpg", "\\'", "", "",
         "'photo.jpg','photo.jpg','\\\\''','800','600','S','D','',''"},
        {"Cyrillic stays Windows-1251", u8"Фото ёж.jpg", "Красная площадь", "", "папка",
         "'Фото ёж.jpg','Фото ёж.jpg','Красная площадь','800','600','S','D','','папка'"},
        {"two-line commentary", "photo.jpg", "first\r\nsecond", "3", "",
         "'photo.jpg','photo.jpg','first\r\nsecond','800','600','S','D','3',''"},
        {"longest values", "photo.jpg", quotes, quotes, std::string(999, '\\'),
         "'photo.jpg','photo.jpg','" + doubled + "','800','600','S','D','" + doubled + "','" + std::string(1998, '\\') +
             "'"},
    };
    for (const LiteralCase &c : cases) {
        SCOPED_TRACE(c.label);
        TestFolder here;
        ASSERT_TRUE(SaveTestImage(here.Path(c.name), FIF_JPEG, 800, 600));
        // the three typed values keep what was typed last: empty ones are typed as empty
        watch.Then([&c](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_REC_COMMENTARY, c.commentary.c_str());
            SetDlgItemTextA(dialog, IDC_REC_SEC_ID, c.secId.c_str());
            SetDlgItemTextA(dialog, IDC_REC_DIR, c.dir.c_str());
            PressNow(dialog, IDOK);
        });
        RunThumbnailJob(here.winPath);
        EXPECT_EQ(ExpectedRow(here, c.expectedValues, c.name), here.ReadFile("imagelog.sql"));
    }
    EXPECT_EQ(0, watch.unanswered) << Describe(watch.seen);
}

// Sparse files that start with a JPEG: the size comes from both halves of the listing
// and is never negative.
TEST_F(Record, SizesOf2GiBAndMore)
{
    const unsigned long long sizes[] = {2147483647ULL, 2147483648ULL, 4294967295ULL, 4294967296ULL,
                                        5000000000ULL};
    for (unsigned long long size : sizes) {
        std::string name = "big" + std::to_string(size) + ".jpg";
        Photo(name);
        ASSERT_EQ(0, truncate(folder.Path(name).c_str(), (off_t)size));
    }
    watch.Then(Press(IDC_REC_DEFAULT));
    Run();
    std::string log = Log();
    for (unsigned long long size : sizes)
        EXPECT_NE(std::string::npos, log.find("','800','600','" + std::to_string(size) + "','")) << size;
    EXPECT_EQ(std::string::npos, log.find("','-"));
}

// The first showing: six values of the image, the three typed ones still empty; Enter
// right after the dialog opens confirms them as shown.
TEST_F(Record, DialogShowsTheNineValues)
{
    Photo(u8"фото.jpg");
    std::string shown[9];
    HWND focus = NULL, okButton = NULL;
    watch.Then([&](HWND dialog) {
        for (int i = 0; i < 9; i++)
            shown[i] = ControlText(dialog, recordIds[i]);
        okButton = GetDlgItem(dialog, IDOK);
        Later([&focus, dialog]() {
            focus = GetFocus();
            PostMessageA(focus != NULL ? focus : dialog, WM_KEYDOWN, VK_RETURN, 0);
        });
    });
    Run();
    ASSERT_EQ(1u, watch.seen.size());
    EXPECT_FALSE(watch.seen[0].messageBox);
    EXPECT_EQ(recordCaption, watch.seen[0].caption);
    EXPECT_EQ(mainWindow, watch.seen[0].owner);
    std::string size = std::to_string(folder.ReadFile(u8"фото.jpg").size());
    const std::string expected[9] = {"фото.jpg", "фото.jpg", "", "800", "600", size, dateStamp, "", ""};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(expected[i], shown[i]) << "control " << recordIds[i];
    EXPECT_EQ(okButton, focus);
    EXPECT_EQ(ExpectedRow(folder, "'фото.jpg','фото.jpg','','800','600','S','D','',''", u8"фото.jpg"), Log());
}

// Ok and Default take all nine typed values for the row, Esc none; after Default the
// job's second image is not asked about.
TEST_F(Record, OkDefaultAndEscWithTypedValues)
{
    struct Case { int button; bool readBack; bool askedAgain; };
    const Case cases[] = {{IDOK, true, true}, {IDC_REC_DEFAULT, true, false}, {IDCANCEL, false, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.button);
        StartProgram();
        TestFolder here;
        ASSERT_TRUE(SaveTestImage(here.Path("a.jpg"), FIF_JPEG, 800, 600));
        ASSERT_TRUE(SaveTestImage(here.Path("b.jpg"), FIF_JPEG, 800, 600));
        std::vector<std::string> order = here.SearchOrder("*.jpg");
        std::vector<std::string> typed;
        for (int i = 0; i < 9; i++)
            typed.push_back("typed " + std::to_string(i));
        BoxWatch boxes;
        boxes.Then(Type(typed, c.button));
        boxes.Then(Press(IDCANCEL));
        RunThumbnailJob(here.winPath);
        EXPECT_EQ(c.askedAgain ? 2u : 1u, boxes.seen.size()) << Describe(boxes.seen);
        std::string log = here.ReadFile("imagelog.sql");
        std::string first = log.substr(0, log.find('\n') + 1);
        if (c.readBack) {
            EXPECT_EQ(Statement("'typed 0','typed 1','typed 2','typed 3','typed 4','typed 5','typed 6',"
                                "'typed 7','typed 8'"), first);
        } else {
            EXPECT_EQ(ExpectedRow(here, "'" + order[0] + "','" + order[0] + "','','800','600','S','D','',''", order[0]),
                      first);
        }
    }
}

// A 1200-character text comes back as its first 999 characters, in every field.
TEST_F(Record, LongTextIsReadBackAs999Characters)
{
    Photo("photo.jpg");
    std::string longText;
    for (int i = 0; i < 1200; i++)
        longText += (char)('a' + i % 26);
    watch.Then(Type(std::vector<std::string>(9, longText), IDOK));
    Run();
    std::string value = "'" + longText.substr(0, 999) + "'";
    std::string values = value;
    for (int i = 1; i < 9; i++)
        values += "," + value;
    EXPECT_EQ(Statement(values), Log());
}

// Enter in the commentary presses Ok too: the field takes no Enter of its own.
TEST_F(Record, EnterInTheCommentaryConfirms)
{
    Photo("photo.jpg");
    watch.Then([](HWND dialog) {
        HWND commentary = GetDlgItem(dialog, IDC_REC_COMMENTARY);
        SetWindowTextA(commentary, "typed");
        Later([commentary]() {
            SetFocus(commentary);
            PostMessageA(commentary, WM_KEYDOWN, VK_RETURN, 0);
        });
    });
    Run();
    EXPECT_EQ(ExpectedRow(folder, "'photo.jpg','photo.jpg','typed','800','600','S','D','',''", "photo.jpg"), Log());
    EXPECT_EQ(0, watch.unanswered);
}

// The template: no close box, a tool window, the controls in their Tab order.
TEST_F(Record, DialogTemplate)
{
    Photo("photo.jpg");
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
    Run();
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    const std::vector<int> expectedIds = {IDOK, IDC_REC_NAME, IDC_REC_IMG_NAME, IDC_REC_COMMENTARY,
                                          IDC_REC_WIDTH, IDC_REC_SIZE, IDC_REC_DATE, IDC_REC_SEC_ID,
                                          IDC_REC_DIR, IDC_REC_HEIGHT, -1, IDC_REC_DEFAULT,
                                          -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                          // added after every specified control: the preview, its size and "n of N"
                                          IDC_REC_PREVIEW, IDC_REC_PREVIEW_INFO};
    EXPECT_EQ(expectedIds, ids);
    EXPECT_NE(std::string::npos, labels.find("|При обработке Фотографий сайт example.org задает описание"));
    EXPECT_NE(std::string::npos, labels.find("|$desc - описание файла (МАХ=700 символов)|"));
    EXPECT_NE(std::string::npos, labels.find("|Только для $name', '$desc', '$date', '$rzd_num', '$dir|"));
}
