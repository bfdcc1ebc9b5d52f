#include "progress.h"
#include "base.h"
#include "state.h"
#include "../res/resource.h"

#include <commctrl.h>
#include <string.h>

// The progress window of the one job that runs at a time. It is a window of its own
// class, owned by the main window, which stays disabled for the whole job: the window
// only ever sets the flag that Cancel was pressed, so nothing in it can start or re-enter
// a job. The job asks at each entry whether to go on.

// The texts and the bar change at most this often, and messages are handled between
// entries at most this often: each redraw and each look into the queue costs the job
// (under Wine a look is a round trip to the server, and a redraw goes through the X
// server), about 5 % of a job of small images when done every 20 ms; a window still
// answers well within a fifth of a second.
#define PROGRESS_REDRAW_MS 250
#define PROGRESS_ANSWER_MS 50
// The window comes up once the job has run this long: a job over in a moment shows none
// (its making and first drawing would cost a job of sixty photos a tenth of its time).
#define PROGRESS_SHOW_MS 300

static HWND progressWindow;
static char progressCaption[64];
static int progressTotal;
static int progressDone;
static DWORD progressStart;
static DWORD progressDrawn;
static DWORD progressAnswered;
static int cancelPressed;
static int quitPosted;
static WPARAM quitCode;

// Cancel: the current entry finishes, the job then ends; the button has done its part.
static void PressCancel(void)
{
    cancelPressed = 1;
    if (progressWindow != NULL)
        EnableWindow(GetDlgItem(progressWindow, IDCANCEL), FALSE);
}

// The window's procedure: Cancel, Esc and the close box all stop the job.
static LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            PressCancel();
        return 0;
    case WM_CLOSE:
        PressCancel();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterProgressClass(void)
{
    static int registered;
    if (registered)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = ProgressProc;
    windowClass.hInstance = appInstance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = PROGRESS_WINDOW_CLASS;
    registered = RegisterClassA(&windowClass) != 0;
}

// One child control at a place in the window, in the program's dialog font.
static void AddControl(const char *className, const char *text, DWORD style, int id, int x, int y, int width,
                       int height)
{
    HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                   progressWindow, (HMENU)(INT_PTR)id, appInstance, NULL);
    SendMessageA(control, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), FALSE);
}

// The window's place: centred over the main window, its client area 360 x 140.
static void PlaceWindow(RECT *frame)
{
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    SetRect(frame, 0, 0, 360, 140);
    AdjustWindowRectEx(frame, style, FALSE, WS_EX_TOOLWINDOW);
    RECT owner;
    GetWindowRect(mainWindow, &owner);
    OffsetRect(frame, (owner.left + owner.right - frame->right - frame->left) / 2 - frame->left,
               (owner.top + owner.bottom - frame->bottom - frame->top) / 2 - frame->top);
}

void FormatCount(char *text, size_t cap, int n, int total)
{
    text[0] = '\0';
    TextAppendInt(text, cap, n);
    TextAppend(text, cap, " of ");
    TextAppendInt(text, cap, total);
}

// The time the entries not begun yet will take at the pace of those done, as m:ss.
static void FormatTimeLeft(char *text, size_t cap)
{
    TextCopy(text, cap, "Осталось: ");
    if (progressDone < 2) {
        TextAppend(text, cap, "...");
        return;
    }
    unsigned long long elapsed = GetTickCount() - progressStart;
    unsigned long long left = elapsed * (unsigned)(progressTotal - progressDone + 1) / (unsigned)(progressDone - 1);
    unsigned long long seconds = (left + 999) / 1000;
    TextAppendUnsigned(text, cap, seconds / 60);
    TextAppend(text, cap, seconds % 60 < 10 ? ":0" : ":");
    TextAppendUnsigned(text, cap, seconds % 60);
}

// Shows the count, the bar, the name and the time left.
static void DrawProgress(const char *name)
{
    char text[64];
    FormatCount(text, sizeof text, progressDone, progressTotal);
    SetDlgItemTextA(progressWindow, IDC_PROGRESS_COUNT, text);
    SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETPOS, (WPARAM)progressDone, 0);
    SetDlgItemTextA(progressWindow, IDC_PROGRESS_NAME, name);
    FormatTimeLeft(text, sizeof text);
    SetDlgItemTextA(progressWindow, IDC_PROGRESS_LEFT, text);
    progressDrawn = GetTickCount();
}

void ProgressOpen(const char *caption, int total)
{
    TextCopy(progressCaption, sizeof progressCaption, caption);
    progressTotal = total > 0 ? total : 0;
    progressDone = 0;
    progressStart = GetTickCount();
    cancelPressed = 0;
    quitPosted = 0;
    progressWindow = NULL;
}

// Makes the window and shows it, without taking the focus from the job's dialogs and boxes.
static void ShowProgressWindow(void)
{
    RegisterProgressClass();
    RECT frame;
    PlaceWindow(&frame);
    progressWindow = CreateWindowExA(WS_EX_TOOLWINDOW, PROGRESS_WINDOW_CLASS, progressCaption,
                                     WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                     frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                                     mainWindow, NULL, appInstance, NULL);
    if (progressWindow == NULL)
        return;
    AddControl("Static", "", SS_LEFT | SS_NOPREFIX, IDC_PROGRESS_COUNT, 12, 10, 336, 16);
    AddControl(PROGRESS_CLASSA, "", 0, IDC_PROGRESS_BAR, 12, 30, 336, 18);
    AddControl("Static", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, IDC_PROGRESS_NAME, 12, 54, 336, 16);
    AddControl("Static", "", SS_LEFT | SS_NOPREFIX, IDC_PROGRESS_LEFT, 12, 74, 336, 16);
    AddControl("Button", "Отмена", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 135, 102, 90, 26);
    SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, (LPARAM)progressTotal);
    ShowWindow(progressWindow, SW_SHOWNOACTIVATE);
}

int ProgressHandleMessages(void)
{
    progressAnswered = GetTickCount();
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // the program is asked to end: the job stops, and the request waits for it
            quitPosted = 1;
            quitCode = message.wParam;
            PressCancel();
            continue;
        }
        if (progressWindow != NULL && IsDialogMessageA(progressWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return !cancelPressed;
}

int ProgressNext(const char *name)
{
    if (GetTickCount() - progressAnswered >= PROGRESS_ANSWER_MS && !ProgressHandleMessages())
        return 0;
    if (cancelPressed)
        return 0;
    progressDone++;
    if (progressDone > progressTotal) {
        // an entry that appeared after the count: the bar grows with it
        progressTotal = progressDone;
        if (progressWindow != NULL)
            SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, (LPARAM)progressTotal);
    }
    int drawNow = progressWindow != NULL && GetTickCount() - progressDrawn >= PROGRESS_REDRAW_MS;
    if (progressWindow == NULL && GetTickCount() - progressStart >= PROGRESS_SHOW_MS) {
        ShowProgressWindow();
        drawNow = progressWindow != NULL;
    }
    if (drawNow)
        DrawProgress(name);
    return 1;
}

int ProgressCancelled(void)
{
    return cancelPressed;
}

void ProgressClose(void)
{
    if (progressWindow != NULL)
        DestroyWindow(progressWindow);
    progressWindow = NULL;
    if (quitPosted)
        PostQuitMessage((int)quitCode);
    quitPosted = 0;
}
