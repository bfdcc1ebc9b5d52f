// Takes the screenshots of the documentation: starts the real program in the same Wine
// desktop, opens each dialog through the main window's menu commands, photographs it with
// ImageMagick's import and closes it again. The description dialog is only reached inside
// a batch, so it is opened here directly from the same resources.
// Built and run by docs/screenshots.sh, which sets FOTOBATCH_BUILD_DIR and FOTOBATCH_SHOTS_DIR.
#include <windows.h>

#include "base/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *shotsDir = ".";

// Saves the screen area of a window as shotsDir/name.png.
static void Shoot(HWND window, const char *name)
{
    RECT rect;
    GetWindowRect(window, &rect);
    char command[2048];
    snprintf(command, sizeof command, "import -window root -crop %ldx%ld+%ld+%ld +repage '%s/%s.png'",
             (long)(rect.right - rect.left), (long)(rect.bottom - rect.top), (long)rect.left,
             (long)rect.top, shotsDir, name);
    if (system(command) != 0)
        fprintf(stderr, "failed: %s\n", command);
    else
        printf("%s/%s.png\n", shotsDir, name);
}

// Lets the windows of this process paint for a while.
static void Settle(int milliseconds)
{
    DWORD end = GetTickCount() + milliseconds;
    while ((int)(end - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
}

struct Search {
    DWORD processId;
    const char *className;
    const char *caption;  // NULL: any
    HWND found;
};

static BOOL CALLBACK FindWindowOf(HWND candidate, LPARAM data)
{
    Search *search = (Search *)data;
    DWORD processId = 0;
    GetWindowThreadProcessId(candidate, &processId);
    char className[64] = "", caption[256] = "";
    GetClassNameA(candidate, className, sizeof className);
    GetWindowTextA(candidate, caption, sizeof caption);
    if (processId != search->processId || strcmp(className, search->className) != 0 ||
        !IsWindowVisible(candidate))
        return TRUE;
    if (search->caption != NULL && strcmp(caption, search->caption) != 0)
        return TRUE;
    search->found = candidate;
    return FALSE;
}

// Waits up to ten seconds for a visible window of the program.
static HWND WaitForWindow(DWORD processId, const char *className, const char *caption)
{
    Search search = {processId, className, caption, NULL};
    for (int tries = 0; tries < 100 && search.found == NULL; tries++) {
        Sleep(100);
        EnumWindows(FindWindowOf, (LPARAM)&search);
    }
    return search.found;
}

// Opens one dialog through a menu command of the program, photographs it, closes it.
static void ShootDialog(HWND mainWindowOfProgram, DWORD processId, int command,
                        const char *caption, const char *name)
{
    PostMessageA(mainWindowOfProgram, WM_COMMAND, command, 0);
    HWND dialog = WaitForWindow(processId, "#32770", caption);
    if (dialog == NULL) {
        fprintf(stderr, "no dialog \"%s\"\n", caption);
        return;
    }
    Settle(1000);
    Shoot(dialog, name);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    for (int tries = 0; tries < 50 && IsWindow(dialog); tries++)
        Sleep(100);
}

// The description dialog, shown from this process with a sample record.
static void ShootDescriptionDialog(void)
{
    if (FindResourceA(NULL, MAKEINTRESOURCEA(IDD_PHOTO_RECORD), (LPCSTR)RT_DIALOG) == NULL)
        return;
    appInstance = GetModuleHandleA(NULL);
    // a hidden stand-in for the main window, so that the status line draws nowhere
    mainWindow = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    SetStartUpState();
    TextCopy(PhotoRecord.name, sizeof PhotoRecord.name, "img_0042.jpg");
    TextCopy(PhotoRecord.img_name, sizeof PhotoRecord.img_name, "img_0042.jpg");
    TextCopy(PhotoRecord.commentary, sizeof PhotoRecord.commentary, "Летний вечер на озере");
    TextCopy(PhotoRecord.width, sizeof PhotoRecord.width, "1600");
    TextCopy(PhotoRecord.height, sizeof PhotoRecord.height, "1200");
    TextCopy(PhotoRecord.size, sizeof PhotoRecord.size, "482133");
    TextCopy(PhotoRecord.date, sizeof PhotoRecord.date, dateStamp);
    TextCopy(PhotoRecord.sec_id, sizeof PhotoRecord.sec_id, "3");
    TextCopy(PhotoRecord.dir, sizeof PhotoRecord.dir, "photos/2026");
    HWND dialog = CreateDialogParamA(appInstance, MAKEINTRESOURCEA(IDD_PHOTO_RECORD), NULL,
                                     PhotoRecordProc, 0);
    if (dialog == NULL)
        return;
    SetWindowPos(dialog, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    Settle(1000);
    Shoot(dialog, "description-dialog");
    DestroyWindow(dialog);
    DestroyWindow(mainWindow);
}

int main(void)
{
    const char *buildDir = getenv("FOTOBATCH_BUILD_DIR");
    if (getenv("FOTOBATCH_SHOTS_DIR") != NULL)
        shotsDir = getenv("FOTOBATCH_SHOTS_DIR");
    if (buildDir == NULL) {
        fprintf(stderr, "FOTOBATCH_BUILD_DIR is not set\n");
        return 1;
    }
    char unixPath[1024];
    snprintf(unixPath, sizeof unixPath, "%s/fotobatch.exe.so", buildDir);
    WCHAR *dosWide = wine_get_dos_file_name(unixPath);
    char program[1024] = "";
    if (dosWide != NULL) {
        WideCharToMultiByte(CP_ACP, 0, dosWide, -1, program, sizeof program, NULL, NULL);
        HeapFree(GetProcessHeap(), 0, dosWide);
    }
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(program, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s\n", program);
        return 1;
    }
    HWND window = WaitForWindow(process.dwProcessId, "Fotobatch", NULL);
    if (window != NULL) {
        SetWindowPos(window, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
        Settle(1500);
        Shoot(window, "main-window");
        ShootDialog(window, process.dwProcessId, IDM_ABOUT, "About", "about");
        ShootDialog(window, process.dwProcessId, IDM_SELECT_DIR, "Open Directory", "directory-chooser");
        ShootDialog(window, process.dwProcessId, IDM_THUMBNAILS, "Properties image processing", "job-dialog");
        ShootDialog(window, process.dwProcessId, IDM_NAME_FIX, "File FIX", "name-fix-dialog");
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ShootDescriptionDialog();
    return window != NULL ? 0 : 1;
}
