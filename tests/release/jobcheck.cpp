// Runs both jobs over one folder through the menu, as a user would: the thumbnail job
// with the mask "*.*" and "Default" at the first description dialog, then the name fix;
// OK in every message box. Writes one line per box and dialog that opened (caption, then
// a message box's text), so that the Winelib and the Windows build can be compared on
// the same folder. With a third argument it then starts that program and checks that
// its main window comes up and closes cleanly. With --undo it instead chooses "&Undo last
// FIX", which renames the last run's walk back, then FIX on C:\ (where the program
// starts), which FIX must refuse.
// Usage: fotobatch-jobcheck WINDOWS_DIR BOXES_FILE [PROGRAM]
//        fotobatch-jobcheck --undo BOXES_FILE
#include <windows.h>
#include <string.h>

#include "app/app.h"
#include "base/progress.h"
#include "base/state.h"
#include "base/textbuf.h"
#include "res/resource.h"

#define BOX_TEXT_ID 0xFFFF  // the static control that holds a message box's text
#define MAX_BOXES 512

static HANDLE boxLog = INVALID_HANDLE_VALUE;
static HWND answered[MAX_BOXES];
static int answeredCount;

// Appends bytes to the box log as they are (the program's ANSI text).
static void LogText(const char *text)
{
    DWORD written;
    WriteFile(boxLog, text, (DWORD)strlen(text), &written, NULL);
}

// A box is answered once, however often it is activated again; a handle given back
// by a closed box may come again for a new one.
static int AlreadyAnswered(HWND window)
{
    for (int i = 0; i < answeredCount; i++)
        if (answered[i] == window)
            return 1;
    if (answeredCount < MAX_BOXES)
        answered[answeredCount++] = window;
    return 0;
}

static void ForgetBox(HWND window)
{
    for (int i = 0; i < answeredCount; i++)
        if (answered[i] == window)
            answered[i] = answered[--answeredCount];
}

// The button a user presses in each box: Run! with every entry in the job dialog,
// Default in the description dialog, OK everywhere else (FIX in the name-fix dialog).
static int AnswerFor(HWND window)
{
    if (GetDlgItem(window, BOX_TEXT_ID) != NULL)
        return IDOK;
    if (GetDlgItem(window, IDC_RUN) != NULL) {
        SetDlgItemTextA(window, IDC_MASK_FIELD, "*.*");
        return IDC_RUN;
    }
    if (GetDlgItem(window, IDC_REC_DEFAULT) != NULL && GetDlgItem(window, IDC_REC_SEC_ID) != NULL)
        return IDC_REC_DEFAULT;
    return IDOK;
}

// Records and answers every dialog that opens on this thread.
static LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_DESTROYWND)
        ForgetBox((HWND)wParam);
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (strcmp(className, "#32770") == 0 && !AlreadyAnswered(window)) {
            char caption[256] = "";
            char text[2048] = "";
            GetWindowTextA(window, caption, sizeof caption);
            GetDlgItemTextA(window, BOX_TEXT_ID, text, sizeof text);
            // a summary's time differs from run to run and build to build
            char *timeTaken = strcmp(caption, SUMMARY_CAPTION) == 0 ? strstr(text, SUMMARY_TIME_LABEL) : NULL;
            if (timeTaken != NULL)
                *timeTaken = '\0';
            LogText(caption);
            LogText(" | ");
            LogText(text);
            LogText("\n");
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(AnswerFor(window), BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The started program's main window: a top-level window of its class that belongs to
// that process (this driver has a main window of the same class).
static DWORD startedProcessId;
static HWND startedWindow;
static BOOL CALLBACK FindStartedWindow(HWND window, LPARAM classNameParam)
{
    char className[64] = "";
    DWORD processId = 0;
    GetClassNameA(window, className, sizeof className);
    GetWindowThreadProcessId(window, &processId);
    if (processId == startedProcessId && strcmp(className, (const char *)classNameParam) == 0) {
        startedWindow = window;
        return FALSE;
    }
    return TRUE;
}

// Starts the program, waits for its main window and closes it: 0 when it came up and
// ended with code 0.
static int StartAndClose(const char *program)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    char commandLine[MAX_PATH];
    TextCopy(commandLine, sizeof commandLine, program);
    if (!CreateProcessA(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        LogText("program did not start\n");
        return 1;
    }
    char windowClass[64];
    LoadStringA(GetModuleHandleA(NULL), IDS_WINDOW_CLASS, windowClass, sizeof windowClass);
    startedProcessId = process.dwProcessId;
    startedWindow = NULL;
    // an emulated machine may need a few minutes for the first window of a new prefix
    int ended = 0;
    for (int tries = 0; startedWindow == NULL && !ended && tries < 3000; tries++) {
        EnumWindows(FindStartedWindow, (LPARAM)windowClass);
        ended = WaitForSingleObject(process.hProcess, startedWindow == NULL ? 100 : 0) == WAIT_OBJECT_0;
    }
    int result = 1;
    DWORD exitCode = 1;
    if (startedWindow != NULL) {
        char caption[256] = "";
        GetWindowTextA(startedWindow, caption, sizeof caption);
        LogText("main window | ");
        LogText(caption);
        LogText("\n");
        PostMessageA(startedWindow, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == 0)
            result = 0;
        else
            LogText("program did not end cleanly\n");
    } else if (ended) {
        GetExitCodeProcess(process.hProcess, &exitCode);
        char text[64];
        TextCopy(text, sizeof text, "program ended with code ");
        TextAppendUnsigned(text, sizeof text, exitCode);
        TextAppend(text, sizeof text, " and no main window\n");
        LogText(text);
    } else {
        LogText("no main window\n");
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

// Undoes the last walk, then tries FIX on C:\.
static void UndoThenFixDriveRoot(void)
{
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_UNDO_FIX, 0), 0);
    TextCopy(workDir, sizeof workDir, "C:\\");
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_NAME_FIX, 0), 0);
}

int main(int argc, char **argv)
{
    int undo = argc == 3 && strcmp(argv[1], "--undo") == 0;
    if (argc < 3)
        return 2;
    boxLog = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (boxLog == INVALID_HANDLE_VALUE)
        return 2;
    StartMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
    SetWindowsHookExA(WH_CBT, WatchBoxes, NULL, GetCurrentThreadId());
    if (undo) {
        UndoThenFixDriveRoot();
        CloseHandle(boxLog);
        return 0;
    }
    TextCopy(workDir, sizeof workDir, argv[1]);
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_THUMBNAILS, 0), 0);
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_NAME_FIX, 0), 0);
    int result = argc > 3 ? StartAndClose(argv[3]) : 0;
    CloseHandle(boxLog);
    return result;
}
