// Times the directory chooser on a big folder, as a person opens it: "&Select Directory"
// from the main window, until the chooser shows with its list filled. Makes the folder's
// empty files first when they are not there yet.
// Usage: fotobatch-chooserbench WIN_DIR [FILES] [--plain]
// --plain also times the system's listing into a sorted list box that redraws after every
// entry, as the chooser filled it before (minutes for 20,000 files).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "base/state.h"
#include "res/resource.h"

static LARGE_INTEGER shown;
static LRESULT listedCount;

// Notes when the chooser activates (its list is filled by then) and closes it.
static LRESULT CALLBACK CloseChooser(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        if (GetDlgItem(window, IDC_DIR_LIST) != NULL && shown.QuadPart == 0) {
            QueryPerformanceCounter(&shown);
            listedCount = SendDlgItemMessageA(window, IDC_DIR_LIST, LB_GETCOUNT, 0, 0);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_CANCEL_BUTTON, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// Makes count empty files named f00000.jpg ... in the folder, keeping those there.
static void MakeFiles(const char *folder, int count)
{
    for (int i = 0; i < count; i++) {
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%s\\f%05d.jpg", folder, i);
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
}

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

// The system's listing into a visible sorted list box that draws after every entry.
static void TimePlainListing(const char *folder)
{
    HWND host = CreateWindowExA(0, "#32770", "plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400,
                                NULL, NULL, NULL, NULL);
    CreateWindowExA(0, "ListBox", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_SORT, 0, 0, 380, 360, host,
                    (HMENU)(INT_PTR)IDC_DIR_LIST, NULL, NULL);
    char listText[MAX_PATH];
    snprintf(listText, sizeof listText, "%s\\*.*", folder);
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    DlgDirListA(host, listText, IDC_DIR_LIST, 0, DDL_DRIVES | DDL_DIRECTORY);
    QueryPerformanceCounter(&to);
    printf("plain sorted listing: %.2f s, %ld entries\n", Seconds(from, to),
           (long)SendDlgItemMessageA(host, IDC_DIR_LIST, LB_GETCOUNT, 0, 0));
    DestroyWindow(host);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s WIN_DIR [FILES] [--plain]\n", argv[0]);
        return 2;
    }
    int files = argc > 2 && argv[2][0] != '-' ? atoi(argv[2]) : 20000;
    int plain = strcmp(argv[argc - 1], "--plain") == 0;
    CreateDirectoryA(argv[1], NULL);
    MakeFiles(argv[1], files);
    if (!StartMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL))
        return 1;
    HHOOK hook = SetWindowsHookExA(WH_CBT, CloseChooser, NULL, GetCurrentThreadId());
    snprintf(browseSpec, sizeof browseSpec, "%s\\*.*", argv[1]);
    LARGE_INTEGER opened;
    QueryPerformanceCounter(&opened);
    SendMessageA(mainWindow, WM_COMMAND, IDM_SELECT_DIR, 0);
    UnhookWindowsHookEx(hook);
    printf("chooser: %.2f s to show %ld entries (%d files)\n", Seconds(opened, shown), (long)listedCount, files);
    if (plain)
        TimePlainListing(argv[1]);
    DestroyWindow(mainWindow);
    return 0;
}
