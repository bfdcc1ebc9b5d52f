// Takes the screenshots of the documentation: starts the real program in the same Wine
// desktop, opens each dialog through the main window's menu commands, photographs it with
// ImageMagick's import and closes it again; then runs a thumbnail job over sample photos
// for the description dialog, the progress window and the summary.
// Built and run by docs/screenshots.sh, which sets FOTOBATCH_BUILD_DIR and FOTOBATCH_SHOTS_DIR.
#include <windows.h>

#include "base/progress.h"
#include "base/state.h"
#include "res/resource.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *shotsDir = ".";
static const char descriptionCaption[] = "Установка описаний файлов для сайта example.org";

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

// Waits up to five seconds for a window to close.
static void WaitUntilClosed(HWND window)
{
    for (int tries = 0; tries < 50 && IsWindow(window); tries++)
        Sleep(100);
}

// The thumbnail job over the sample photos, through the menu: the first description
// dialog with its picture, the progress window at the fourth (drawn over the dialog), then
// "Default" and the summary at the job's end.
static void ShootJob(HWND mainWindowOfProgram, DWORD processId)
{
    PostMessageA(mainWindowOfProgram, WM_COMMAND, IDM_THUMBNAILS, 0);
    HWND jobDialog = WaitForWindow(processId, "#32770", "Properties image processing");
    if (jobDialog == NULL) {
        fprintf(stderr, "no job dialog\n");
        return;
    }
    PostMessageA(jobDialog, WM_COMMAND, IDC_RUN, 0);
    for (int image = 1; image <= 4; image++) {
        HWND description = WaitForWindow(processId, "#32770", descriptionCaption);
        if (description == NULL) {
            fprintf(stderr, "no description dialog for image %d\n", image);
            return;
        }
        Settle(1000);
        if (image == 1)
            Shoot(description, "description-dialog");
        if (image == 4) {
            HWND progress = WaitForWindow(processId, PROGRESS_WINDOW_CLASS, NULL);
            SetWindowPos(progress, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            Settle(500);
            Shoot(progress, "progress-window");
        }
        PostMessageA(description, WM_COMMAND, image == 4 ? IDC_REC_DEFAULT : IDOK, 0);
        WaitUntilClosed(description);
    }
    HWND summary = WaitForWindow(processId, "#32770", SUMMARY_CAPTION);
    if (summary == NULL) {
        fprintf(stderr, "no summary\n");
        return;
    }
    Settle(1000);
    Shoot(summary, "summary");
    PostMessageA(summary, WM_COMMAND, IDOK, 0);
    WaitUntilClosed(summary);
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
    // the sample photos' folder is the working directory from the start
    char commandLine[2048] = "";
    const char *photos = getenv("FOTOBATCH_SHOTS_PHOTOS");
    WCHAR *photosWide = photos != NULL ? wine_get_dos_file_name(photos) : NULL;
    if (photosWide != NULL) {
        char photosDos[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, photosWide, -1, photosDos, sizeof photosDos, NULL, NULL);
        HeapFree(GetProcessHeap(), 0, photosWide);
        snprintf(commandLine, sizeof commandLine, "\"%s\" \"%s\"", program, photosDos);
    }
    if (!CreateProcessA(program, commandLine[0] != '\0' ? commandLine : NULL, NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &process)) {
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
        ShootJob(window, process.dwProcessId);
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return window != NULL ? 0 : 1;
}
