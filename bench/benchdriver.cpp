// Runs the program's real thumbnail job over a folder the way a person does: the main
// window starts, "&Thumbnails!" opens the job dialog, the fields are typed and Run! is
// pressed; the first description dialog is answered with Default. It does so twice in one
// run, and reports how long each job took from Run! to its end (the first job after the
// program started, and the next one) and the peak memory of this, the job's, process.
// The summary box that ends a job is not timed: it waits for the person.
// Usage: fotobatch-bench UNIX_DIR [--in-process]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include "app/app.h"
#include "base/progress.h"
#include "base/state.h"
#include "res/resource.h"
#include "decode/decoder.h"

static LARGE_INTEGER runPressed;
static LARGE_INTEGER jobDone;  // when the summary that ends the job came up, 0 before

// Types the job's settings into the job dialog and presses Run!.
static void StartJobFromDialog(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_MASK_FIELD, "*.jpg");
    SetDlgItemTextA(dialog, IDC_JOB_DIR, workDir);
    SetDlgItemTextA(dialog, IDC_SIZE_FIELD, "150");
    SetDlgItemTextA(dialog, IDC_SUFFIX_FIELD, "_small.jpg");
    QueryPerformanceCounter(&runPressed);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0);
}

// Starts the job in the job dialog, presses Default in the description dialog and OK in
// anything else that opens.
static LRESULT CALLBACK AnswerDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    // the job's work is done when its summary begins to come up for the person
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA *create = ((CBT_CREATEWNDA *)lParam)->lpcs;
        if (jobDone.QuadPart == 0 && create->lpszName != NULL && !IS_INTRESOURCE(create->lpszName) &&
            strcmp(create->lpszName, SUMMARY_CAPTION) == 0)
            QueryPerformanceCounter(&jobDone);
    }
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (strcmp(className, "#32770") == 0) {
            if (GetDlgItem(window, IDC_RUN) != NULL && GetDlgItem(window, IDC_SUFFIX_FIELD) != NULL)
                StartJobFromDialog(window);
            else
                PostMessageA(window, WM_COMMAND,
                             MAKEWPARAM(GetDlgItem(window, IDC_REC_DEFAULT) != NULL ? IDC_REC_DEFAULT : IDOK,
                                        BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The peak resident size of this process in kB, as the kernel counts it.
static long PeakKilobytes(void)
{
    FILE *status = fopen("/proc/self/status", "r");
    if (status == NULL)
        return -1;
    char line[256];
    long peak = -1;
    while (fgets(line, sizeof line, status) != NULL)
        if (strncmp(line, "VmHWM:", 6) == 0)
            peak = atol(line + 6);
    fclose(status);
    return peak;
}

// Rows written: one line feed per statement.
static int CountRows(void)
{
    HANDLE log = CreateFileA("imagelog.sql", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return 0;
    char chunk[65536];
    DWORD got;
    int rows = 0;
    while (ReadFile(log, chunk, sizeof chunk, &got, NULL) && got > 0)
        for (DWORD i = 0; i < got; i++)
            rows += chunk[i] == '\n';
    CloseHandle(log);
    return rows;
}

// One job through the menu and the job dialog; the seconds from Run! to its end: its
// summary, or its return where it shows none.
static double TimeOneJob(void)
{
    jobDone.QuadPart = 0;
    SendMessageA(mainWindow, WM_COMMAND, IDM_THUMBNAILS, 0);
    LARGE_INTEGER frequency, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&end);
    if (jobDone.QuadPart != 0)
        end = jobDone;
    return (double)(end.QuadPart - runPressed.QuadPart) / frequency.QuadPart;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: fotobatch-bench UNIX_DIR [--in-process]\n");
        return 2;
    }
    WCHAR *dosName = wine_get_dos_file_name(argv[1]);
    if (dosName == NULL)
        return 2;
    char folder[PATH_CAP];
    WideCharToMultiByte(CP_ACP, 0, dosName, -1, folder, sizeof folder, NULL, NULL);
    HeapFree(GetProcessHeap(), 0, dosName);
    if (argc > 2 && strcmp(argv[2], "--in-process") == 0) {
        // workers that cannot put themselves under their memory ceiling refuse to decode,
        // and the job decodes in its own process, as it does then for the user
        struct rlimit lower = {(rlim_t)(DECODER_MEMORY_MB - 1) << 20, (rlim_t)(DECODER_MEMORY_MB - 1) << 20};
        setrlimit(RLIMIT_DATA, &lower);
    }

    StartMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
    TextCopy(workDir, sizeof workDir, folder);  // after start-up, which sets the defaults
    SetWindowsHookExA(WH_CBT, AnswerDialogs, NULL, GetCurrentThreadId());
    double first = TimeOneJob();
    int rows = CountRows();
    double next = TimeOneJob();
    printf("images=%d seconds=%.3f next_seconds=%.3f job_peak_kb=%ld\n", rows, first, next, PeakKilobytes());
    return 0;
}
