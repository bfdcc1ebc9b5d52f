// Runs the program's real thumbnail job once over a folder and reports how long
// MakeThumbnails took and the peak memory of this (the job's) process. The first
// description dialog is answered with Default, as a user batch-processing would.
// Usage: fotobatch-bench UNIX_DIR [--in-process]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "app/state.h"
#include "res/resource.h"
#include "thumbs/thumbs.h"
#include "thumbs/workerpool.h"

// Presses Default in the description dialog and OK in anything else that opens.
static LRESULT CALLBACK AnswerDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (strcmp(className, "#32770") == 0) {
            int id = GetDlgItem(window, IDC_REC_DEFAULT) != NULL ? IDC_REC_DEFAULT : IDOK;
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
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

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: fotobatch-bench UNIX_DIR [--in-process]\n");
        return 2;
    }
    WCHAR *dosName = wine_get_dos_file_name(argv[1]);
    if (dosName == NULL)
        return 2;
    WideCharToMultiByte(CP_ACP, 0, dosName, -1, workDir, sizeof workDir, NULL, NULL);
    HeapFree(GetProcessHeap(), 0, dosName);
    if (argc > 2 && strcmp(argv[2], "--in-process") == 0)
        TextCopy(workerProgram, sizeof workerProgram, "Z:\\nonexistent\\fotobatch-worker.exe.so");

    HINSTANCE instance = GetModuleHandleA(NULL);
    StartMainWindow(instance, SW_SHOWNORMAL);
    SetWindowsHookExA(WH_CBT, AnswerDialogs, NULL, GetCurrentThreadId());

    TextCopy(thumbDirPath, sizeof thumbDirPath, workDir);
    TextAppend(thumbDirPath, sizeof thumbDirPath, "\\thumbnails\\");
    TextCopy(findMask, sizeof findMask, "*.jpg");
    TextCopy(thumbSuffix, sizeof thumbSuffix, "_small.jpg");
    thumbSize = 150;

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    RunJob(MakeThumbnails);
    QueryPerformanceCounter(&end);
    double seconds = (double)(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    printf("images=%d seconds=%.3f job_peak_kb=%ld workers=%d\n", CountRows(), seconds, PeakKilobytes(),
           WorkerPoolStarted());
    return 0;
}
