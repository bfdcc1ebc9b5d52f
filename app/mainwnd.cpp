#include "app.h"
#include "../base/base.h"
#include "../base/progress.h"
#include "../base/state.h"
#include "../res/resource.h"
#include "../chooser/chooser.h"
#include "../thumbs/thumbs.h"
#include "../namefix/namefix.h"
#include "../decode/decoder.h"
#include "../decode/decodeimage.h"

#include <string.h>

static char windowTitle[TITLE_CAP];
static char windowClassName[TITLE_CAP];

// Loads the window title and class name from the string table.
void LoadWindowStrings(HINSTANCE instance)
{
    LoadStringA(instance, IDS_APP_TITLE, windowTitle, sizeof windowTitle);
    LoadStringA(instance, IDS_WINDOW_CLASS, windowClassName, sizeof windowClassName);
}

// Registers the main window class with its icons, arrow cursor, window-colour
// background and menu 109.
ATOM RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FOTOBATCH));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDM_MAINMENU);
    windowClass.lpszClassName = windowClassName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    return RegisterClassExA(&windowClass);
}

// Creates, shows and paints the 400 x 300 main window; 0 when there is none.
int CreateMainWindow(HINSTANCE instance, int showCommand)
{
    appInstance = instance;
    // WS_SYSMENU alone: the system adds the caption and a fixed border, no sizing
    mainWindow = CreateWindowExA(0, windowClassName, windowTitle, WS_SYSMENU,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 400, 300,
                                 NULL, NULL, instance, NULL);
    if (mainWindow == NULL)
        return 0;
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    return 1;
}

// Paints the working directory at the top left, where the status line also draws.
static LRESULT PaintWorkDir(HWND window)
{
    PAINTSTRUCT paint;
    RECT clientRect;
    HDC drawDC = BeginPaint(window, &paint);
    GetClientRect(window, &clientRect);
    DrawTextA(drawDC, workDir, (int)strlen(workDir), &clientRect, 0);
    EndPaint(window, &paint);
    return 0;
}

// Runs one of the program's modal dialogs, owned by the main window.
static void RunDialog(HWND owner, int templateId, DLGPROC procedure)
{
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(templateId), owner, procedure, 0);
}

// Turns a menu command or accelerator into its action; the notification code is ignored.
// While a job runs (it handles messages between entries) no command is taken: the
// chooser would move the job's current directory, and a dialog could start a second job.
static LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (JobRunning())
        return 0;
    switch (LOWORD(wParam)) {
    case IDM_SELECT_DIR:
        SelectDirectoryCommand(window);
        return 0;
    case IDM_ABOUT:
        RunDialog(window, IDD_ABOUT, AboutProc);
        return 0;
    case IDM_EXIT:
        DestroyWindow(window);
        return 0;
    case IDM_THUMBNAILS:
        RunDialog(window, IDD_THUMB_JOB, ThumbJobProc);
        return 0;
    case IDM_NAME_FIX:
        RunDialog(window, IDD_NAME_FIX, NameFixProc);
        return 0;
    case IDM_UNDO_FIX:
        UndoFixCommand();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The main window only dispatches: each message goes to one small handler.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_PAINT:
        return PaintWorkDir(window);
    case WM_INITMENUPOPUP:
        ShowUndoFixState((HMENU)wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Everything start-up does before the message loop: the settings' defaults and the run's
// date stamp, the strings, the window classes, FreeImage's message hook, the decoding
// workers (started in the background, so that they are ready by the first Run!) and the
// main window. 0 when there is no window.
int StartMainWindow(HINSTANCE instance, int showCommand)
{
    SetStartUpState();
    LoadWindowStrings(instance);
    RegisterMainClass(instance);
    RegisterProgressClass();
    RouteImageLibraryMessages(ImageLibraryMessage);
    DecoderStartWorkers();
    return CreateMainWindow(instance, showCommand);
}
