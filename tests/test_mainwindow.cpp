// The main window as a user meets it: its menu, read as it is and clicked with the mouse,
// its icons, the About box from the menu; and the program started as its own process: its
// window's style and size, Alt+? and Alt+/ through its own message loop, and the close box,
// which ends it with exit code 0.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "program.h"

#include "base/state.h"
#include "res/resource.h"

#include <algorithm>
#include <string.h>

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { StartProgram(); }
};

static std::string Item(const std::string &text, int id)
{
    return "item " + text + " " + std::to_string(id);
}

// One line per item of a menu, in order: "popup TEXT", "item TEXT ID" or "separator".
static std::vector<std::string> MenuItems(HMENU menu)
{
    std::vector<std::string> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        char text[128] = "";
        MENUITEMINFOA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, i, TRUE, &info))
            items.push_back("unreadable");
        else if (info.fType & MFT_SEPARATOR)
            items.push_back("separator");
        else if (info.hSubMenu != NULL)
            items.push_back(std::string("popup ") + text);
        else
            items.push_back(Item(text, info.wID));
    }
    return items;
}

// Clicks the middle of a rectangle given in screen coordinates with the left button.
static void ClickAt(const RECT &rect)
{
    int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    INPUT mouse[3];
    memset(mouse, 0, sizeof mouse);
    DWORD flags[3] = {MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 3; i++) {
        mouse[i].type = INPUT_MOUSE;
        mouse[i].mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        mouse[i].mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
        mouse[i].mi.dwFlags = flags[i];
    }
    SendInput(3, mouse, sizeof mouse[0]);
}

TEST_F(MainWindow, MenuHoldsItsItemsInOrderAndOpensTheJobsWhenClicked)
{
    HMENU bar = GetMenu(mainWindow);
    ASSERT_NE(nullptr, bar);
    const std::string nameFix = Item("&File name FIX", IDM_NAME_FIX), thumbnails = Item("&Thumbnails!", IDM_THUMBNAILS);
    EXPECT_EQ((std::vector<std::string>{"popup &File", "separator", nameFix, "separator", thumbnails, "separator",
                                        Item("&About ...", IDM_ABOUT), "separator"}),
              MenuItems(bar));
    EXPECT_EQ((std::vector<std::string>{Item("&Select Directory", IDM_SELECT_DIR), Item("&Undo last FIX", IDM_UNDO_FIX),
                                        "separator", Item("E&xit", IDM_EXIT)}),
              MenuItems(GetSubMenu(bar, 0)));

    struct Choice { std::string item; const char *caption; };
    const Choice choices[] = {{thumbnails, "Properties image processing"}, {nameFix, "File FIX"}};
    std::vector<std::string> items = MenuItems(bar);
    for (const Choice &choice : choices) {
        int index = (int)(std::find(items.begin(), items.end(), choice.item) - items.begin());
        RECT place;
        ASSERT_TRUE(GetMenuItemRect(mainWindow, bar, index, &place)) << choice.item;
        SetForegroundWindow(mainWindow);
        PumpMessages();
        BoxWatch watch;
        watch.Then(Steps([](HWND dialog) { PressNow(dialog, IDCANCEL); }));
        ClickAt(place);
        for (int round = 0; round < 500 && watch.seen.empty(); round++) {
            PumpMessages();
            Sleep(20);
        }
        ASSERT_EQ(1u, watch.seen.size()) << choice.item << " " << Describe(watch.seen);
        EXPECT_EQ(choice.caption, watch.seen[0].caption);
        EXPECT_EQ(mainWindow, watch.seen[0].owner);
    }
}

TEST_F(MainWindow, AboutOpensFromTheMenuAndClosesWithOkOrEsc)
{
    BoxWatch watch;
    HICON icon = NULL;
    OpenFromMenu(watch, IDM_ABOUT, [&](HWND about) {
        icon = (HICON)SendDlgItemMessageA(about, IDC_ABOUT_ICON, STM_GETICON, 0, 0);
        PressNow(about, IDOK);
    });
    OpenFromMenu(watch, IDM_ABOUT, [&](HWND about) { PostKey(about, VK_ESCAPE); });
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    for (const SeenBox &box : watch.seen) {
        EXPECT_EQ("About", box.caption);
        EXPECT_EQ(mainWindow, box.owner);
        EXPECT_FALSE(IsWindow(box.window));
    }
    EXPECT_EQ(0, watch.unanswered);
    EXPECT_NE(nullptr, icon) << "the About box shows the program's icon";
    EXPECT_NE(0u, GetClassLongPtrA(mainWindow, GCLP_HICON));
    EXPECT_NE(0u, GetClassLongPtrA(mainWindow, GCLP_HICONSM));
}

// Types on the keyboard, as the hand would: each key down in order, then up in reverse.
static void Type(const std::vector<WORD> &keys)
{
    std::vector<INPUT> strokes(2 * keys.size());
    for (size_t i = 0; i < keys.size(); i++) {
        INPUT &down = strokes[i], &up = strokes[strokes.size() - 1 - i];
        down.type = up.type = INPUT_KEYBOARD;
        down.ki.wVk = up.ki.wVk = keys[i];
        up.ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput((UINT)strokes.size(), strokes.data(), sizeof strokes[0]);
}

// As it comes up: a caption with the system menu and a fixed border (no sizing, no
// minimize or maximize box), 400 x 300. Keys typed into its window reach its own loop and
// its accelerators: Alt+/ and Alt+? open About, the same keys without Alt nothing; the
// close box ends it (Exit from the menu does so in test_run).
TEST(Program, FixedWindowWhoseAltKeysOpenAbout)
{
    StartedProgram program;
    ASSERT_NE(nullptr, program.window) << "a window titled Fotobatch";
    const LONG kinds = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_POPUP | WS_CHILD;
    EXPECT_EQ(WS_CAPTION | WS_SYSMENU, GetWindowLongA(program.window, GWL_STYLE) & kinds);
    RECT place;
    GetWindowRect(program.window, &place);
    EXPECT_EQ(400, place.right - place.left);
    EXPECT_EQ(300, place.bottom - place.top);
    struct Keys { const char *what; std::vector<WORD> keys; bool about; };
    const Keys cases[] = {
        {"/", {VK_OEM_2}, false},
        {"?", {VK_SHIFT, VK_OEM_2}, false},
        {"Alt+/", {VK_MENU, VK_OEM_2}, true},
        {"Alt+?", {VK_MENU, VK_SHIFT, VK_OEM_2}, true},
    };
    for (const Keys &c : cases) {
        SetForegroundWindow(program.window);
        Type(c.keys);
        HWND about = program.WaitForWindow("About", c.about ? 20000 : 1000);
        EXPECT_EQ(c.about, about != NULL) << c.what;
        if (about != NULL) {
            PostMessageA(about, WM_COMMAND, IDOK, 0);
            ASSERT_TRUE(WaitUntilClosed(about)) << c.what;
        }
    }
    PostMessageA(program.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0, program.ExitCode());
}
