// The main window as a user meets it: its menu, read as it is and clicked with the mouse,
// its icons, the About box from the menu and from Alt+? and Alt+/, and the ways out of
// the program, which end it with exit code 0.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"

#include "base/state.h"
#include "res/resource.h"

#include <algorithm>
#include <set>
#include <stdlib.h>
#include <string.h>
#include <utility>

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { StartProgram(); }
};

// Runs the message loop of the program's entry point, with its accelerator table, until
// the queue is empty.
static void RunAcceleratorLoop()
{
    HACCEL accelerators = LoadAcceleratorsA(appInstance, MAKEINTRESOURCEA(IDA_MAINACCEL));
    ASSERT_NE(nullptr, accelerators);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

// Holds the Alt key down in this thread's keyboard state, as the user's hand would.
static void SetAltDown(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_MENU] = down ? 0x80 : 0;
    keys[VK_LMENU] = down ? 0x80 : 0;
    SetKeyboardState(keys);
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
            items.push_back("item " + std::string(text) + " " + std::to_string(info.wID));
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
    EXPECT_EQ((std::vector<std::string>{"popup &File", "separator", "item &File name FIX 32773", "separator",
                                        "item &Thumbnails! 32772", "separator", "item &About ... 104", "separator"}),
              MenuItems(bar));
    EXPECT_EQ((std::vector<std::string>{"item &Select Directory 32771", "item &Undo last FIX 32774", "separator",
                                        "item E&xit 105"}),
              MenuItems(GetSubMenu(bar, 0)));

    struct Choice { const char *item; const char *caption; };
    const Choice choices[] = {{"item &Thumbnails! 32772", "Properties image processing"},
                              {"item &File name FIX 32773", "File FIX"}};
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
    watch.Then(Steps([&](HWND about) {
        icon = (HICON)SendDlgItemMessageA(about, IDC_ABOUT_ICON, STM_GETICON, 0, 0);
        PressNow(about, IDOK);
    }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_ABOUT, 0);
    watch.Then(Steps([&](HWND about) { PostKey(about, VK_ESCAPE); }));
    SendMessageA(mainWindow, WM_COMMAND, IDM_ABOUT, 0);
    ASSERT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    for (const SeenBox &box : watch.seen) {
        EXPECT_EQ("About", box.caption);
        EXPECT_EQ(mainWindow, box.owner);
        EXPECT_FALSE(IsWindow(box.window));
    }
    EXPECT_EQ(0, watch.unanswered);
    EXPECT_NE(nullptr, icon) << "the About box shows the program's icon";
}

TEST_F(MainWindow, AltQuestionMarkAndAltSlashOpenAbout)
{
    for (char key : {'?', '/'}) {
        BoxWatch watch;
        watch.Then(Press(IDOK));
        SetAltDown(true);
        // the character that TranslateMessage makes of the key while Alt is held
        PostMessageA(mainWindow, WM_SYSCHAR, (WPARAM)key, 0x20000001);
        RunAcceleratorLoop();
        SetAltDown(false);
        ASSERT_EQ(1u, watch.seen.size()) << "Alt+" << key << " " << Describe(watch.seen);
        EXPECT_EQ("About", watch.seen[0].caption);
    }
    // the same characters without Alt are no command
    BoxWatch watch;
    PostMessageA(mainWindow, WM_CHAR, (WPARAM)'?', 1);
    PostMessageA(mainWindow, WM_CHAR, (WPARAM)'/', 1);
    RunAcceleratorLoop();
    EXPECT_EQ(0u, watch.seen.size()) << Describe(watch.seen);
}

TEST_F(MainWindow, AltSlashTypedOnTheKeyboardOpensAbout)
{
    // real key strokes through the input queue: Alt down, the slash key, Alt up
    SetForegroundWindow(mainWindow);
    SetFocus(mainWindow);
    PumpMessages();
    BoxWatch watch;
    watch.Then(Press(IDOK));
    INPUT keys[4];
    memset(keys, 0, sizeof keys);
    WORD strokes[4] = {VK_MENU, VK_OEM_2, VK_OEM_2, VK_MENU};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = strokes[i];
        keys[i].ki.dwFlags = (i >= 2) ? KEYEVENTF_KEYUP : 0;
    }
    ASSERT_EQ(4u, SendInput(4, keys, sizeof keys[0]));
    for (int round = 0; round < 20 && watch.seen.empty(); round++) {
        RunAcceleratorLoop();
        Sleep(20);
    }
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_EQ("About", watch.seen[0].caption);
}

TEST_F(MainWindow, IconGroupsHoldThreeSizesAtThreeDepths)
{
    const std::set<std::pair<int, int>> expected = {
        {48, 4}, {48, 8}, {48, 32}, {32, 4}, {32, 8}, {32, 32}, {16, 4}, {16, 8}, {16, 32}};
    for (int group : {IDI_FOTOBATCH, IDI_SMALL}) {
        HRSRC found = FindResourceA(appInstance, MAKEINTRESOURCEA(group), (LPCSTR)RT_GROUP_ICON);
        ASSERT_NE(nullptr, found) << group;
        const BYTE *directory = (const BYTE *)LockResource(LoadResource(appInstance, found));
        WORD count;
        memcpy(&count, directory + 4, 2);
        std::set<std::pair<int, int>> images;
        for (int i = 0; i < count; i++) {
            const BYTE *entry = directory + 6 + 14 * i;  // width, height, colours, 0, planes, bits, ...
            WORD bits;
            memcpy(&bits, entry + 6, 2);
            images.insert({entry[0] == 0 ? 256 : entry[0], bits});
            EXPECT_EQ(entry[0], entry[1]) << "square images";
        }
        EXPECT_EQ(9, count) << group;
        EXPECT_EQ(expected, images) << group;
    }
    EXPECT_NE(0u, GetClassLongPtrA(mainWindow, GCLP_HICON));
    EXPECT_NE(0u, GetClassLongPtrA(mainWindow, GCLP_HICONSM));
}

// The program itself, started as its own process.
class RunningProgram {
public:
    RunningProgram()
    {
        const char *buildDir = getenv("FOTOBATCH_BUILD_DIR");
        if (buildDir == NULL)
            return;
        std::string program = std::string(buildDir) + "/fotobatch.exe.so";
        WCHAR *dosWide = wine_get_dos_file_name(program.c_str());
        if (dosWide == NULL)
            return;
        char dosPath[MAX_PATH * 2] = "";
        WideCharToMultiByte(CP_ACP, 0, dosWide, -1, dosPath, sizeof dosPath, NULL, NULL);
        HeapFree(GetProcessHeap(), 0, dosWide);
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        if (!CreateProcessA(dosPath, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
            return;
        started = true;
        for (int tries = 0; tries < 300 && window == NULL; tries++) {
            Sleep(100);
            EnumWindows(FindOurs, (LPARAM)this);
        }
    }
    ~RunningProgram()
    {
        if (!started)
            return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    // Waits until the program has ended; its exit code, or -1 if it did not end.
    long ExitCode()
    {
        if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return (long)code;
    }
    bool started = false;
    HWND window = NULL;
    PROCESS_INFORMATION process;

private:
    static BOOL CALLBACK FindOurs(HWND candidate, LPARAM self)
    {
        RunningProgram *program = (RunningProgram *)self;
        DWORD processId = 0;
        GetWindowThreadProcessId(candidate, &processId);
        char className[64] = "";
        GetClassNameA(candidate, className, sizeof className);
        if (processId != program->process.dwProcessId || strcmp(className, "Fotobatch") != 0)
            return TRUE;
        program->window = candidate;
        return FALSE;
    }
};

TEST(Program, ExitEndsItWithCodeZero)
{
    RunningProgram program;
    ASSERT_TRUE(program.started) << "FOTOBATCH_BUILD_DIR names the build directory";
    ASSERT_NE(nullptr, program.window);
    char title[64] = "";
    GetWindowTextA(program.window, title, sizeof title);
    EXPECT_STREQ("Fotobatch", title);
    PostMessageA(program.window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0, program.ExitCode());
}

TEST(Program, CloseBoxEndsItWithCodeZero)
{
    RunningProgram program;
    ASSERT_TRUE(program.started);
    ASSERT_NE(nullptr, program.window);
    PostMessageA(program.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0, program.ExitCode());
}
