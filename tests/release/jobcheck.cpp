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

#include "dialogwatch.h"

#include "app/app.h"
#include "base/progress.h"
#include "base/state.h"
#include "base/textbuf.h"
#include "res/resource.h"

static HANDLE boxLog = INVALID_HANDLE_VALUE;

// Appends bytes to the box log as they are (the program's ANSI text).
static void LogText(const char *text)
{
    DWORD written;
    WriteFile(boxLog, text, (DWORD)strlen(text), &written, NULL);
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

// Records a dialog or box opening (caption, then a message box's text) and answers it.
static void RecordAndAnswer(HWND window)
{
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
    // an emulated machine may need a few minutes for the first window of a new prefix;
    // this driver's own main window is of the same class
    HWND window = NULL;
    for (int tries = 0; window == NULL && tries < 3000; tries++) {
        do
            window = FindWindowExA(NULL, window, windowClass, NULL);
        while (window == mainWindow);
        if (window == NULL && WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0)
            break;
    }
    DWORD exitCode = 1;
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof caption);
    LogText(window != NULL ? "main window | " : "no main window");
    LogText(caption);
    LogText("\n");
    if (window != NULL)
        PostMessageA(window, WM_CLOSE, 0, 0);
    else
        TerminateProcess(process.hProcess, 1);
    if (WaitForSingleObject(process.hProcess, 300000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &exitCode) || exitCode != 0) {
        char text[64] = "program did not end cleanly: ";
        TextAppendUnsigned(text, sizeof text, exitCode);
        TextAppend(text, sizeof text, "\n");
        LogText(text);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return window == NULL || exitCode != 0;
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
    WatchEachDialog(RecordAndAnswer);
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
