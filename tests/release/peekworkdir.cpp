// Reads from outside which working directory a starting Fotobatch shows, as a user would
// see it: with "box" it first waits for the program's error box, prints its text and
// answers OK; then it opens the name-fix dialog through the menu command, prints the
// dialog's directory field and closes the dialog and the program. Run in the program's
// Wine prefix; prints UTF-8 lines "box | TEXT" and "workdir | PATH"; 1 when something
// did not come within two minutes.
// Usage: fotobatch-peek [box]
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "dialogwatch.h"

#include "res/resource.h"

// Waits for a top-level window of a class and caption; NULL when none came.
static HWND WaitForWindow(const char *className, const char *caption)
{
    for (int tries = 0; tries < 1200; tries++) {
        HWND window = FindWindowA(className, caption);
        if (window != NULL && IsWindowVisible(window))
            return window;
        Sleep(100);
    }
    return NULL;
}

// Prints a label and a control's text, read across the process boundary.
static void PrintText(const char *label, HWND control)
{
    char ansi[1024] = "";
    SendMessageA(control, WM_GETTEXT, sizeof ansi, (LPARAM)ansi);
    PrintUtf8(label, ansi);
}

int main(int argc, char **argv)
{
    char windowClass[64];
    LoadStringA(GetModuleHandleA(NULL), IDS_WINDOW_CLASS, windowClass, sizeof windowClass);
    if (argc > 1 && strcmp(argv[1], "box") == 0) {
        HWND box = WaitForWindow("#32770", "Error");
        if (box == NULL)
            return 1;
        PrintText("box | ", GetDlgItem(box, BOX_TEXT_ID));
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    HWND mainWindow = WaitForWindow(windowClass, NULL);
    while (mainWindow != NULL && !IsWindowEnabled(mainWindow))
        Sleep(100);
    if (mainWindow == NULL)
        return 1;
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_NAME_FIX, 0), 0);
    HWND dialog = WaitForWindow("#32770", "File FIX");
    if (dialog == NULL)
        return 1;
    PrintText("workdir | ", GetDlgItem(dialog, IDC_FIX_DIR));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    return 0;
}
