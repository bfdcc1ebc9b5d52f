// What the release drivers share: a hook that hands every dialog and message box opening
// on this thread to a handler once, and the program's ANSI text printed as UTF-8 lines.
// Header only, as each driver is one source built for both Winelib and Windows.
#ifndef FOTOBATCH_DIALOGWATCH_H
#define FOTOBATCH_DIALOGWATCH_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

#define BOX_TEXT_ID 0xFFFF  // the static control that holds a message box's text
#define MAX_DIALOGS 512

static void (*dialogHandler)(HWND dialog);
static HWND dialogsOpen[MAX_DIALOGS];
static int dialogsOpenCount;

// A dialog is handed over once, however often it is activated again; a handle given
// back by a closed dialog may come again for a new one.
static inline LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = (HWND)wParam;
    int known = 0;
    for (int i = 0; i < dialogsOpenCount; i++) {
        if (dialogsOpen[i] == window && code == HCBT_DESTROYWND)
            dialogsOpen[i--] = dialogsOpen[--dialogsOpenCount];
        else if (dialogsOpen[i] == window)
            known = 1;
    }
    char className[16] = "";
    if (code == HCBT_ACTIVATE && !known && GetClassNameA(window, className, sizeof className) &&
        strcmp(className, "#32770") == 0 && dialogsOpenCount < MAX_DIALOGS) {
        dialogsOpen[dialogsOpenCount++] = window;
        dialogHandler(window);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

static inline void WatchEachDialog(void (*handler)(HWND dialog))
{
    dialogHandler = handler;
    SetWindowsHookExA(WH_CBT, WatchDialogs, NULL, GetCurrentThreadId());
}

// Prints a label and the program's ANSI text as one UTF-8 line, at once.
static inline void PrintUtf8(const char *label, const char *ansi)
{
    WCHAR wide[2048];
    char utf8[6144] = "";
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 2048);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, NULL, NULL);
    printf("%s%s\n", label, utf8);
    fflush(stdout);
}

#endif
