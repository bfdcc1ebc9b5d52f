#include "jobprobe.h"

#include "base/progress.h"
#include "base/state.h"
#include "res/resource.h"

#include <commctrl.h>

static DWORD WINAPI ProbeLoop(void *probe)
{
    JobProbe *self = (JobProbe *)probe;
    while (!self->stopping) {
        self->Probe();
        Sleep(5);
    }
    return 0;
}

JobProbe::JobProbe(int cancelAt) : cancelAt(cancelAt)
{
    thread = CreateThread(NULL, 0, ProbeLoop, this, 0, NULL);
}

JobProbe::~JobProbe()
{
    Stop();
}

void JobProbe::Stop()
{
    if (thread == NULL)
        return;
    stopping = 1;
    // a probe under way waits for the main window, which is this thread's: its message is
    // answered while the probe ends
    MSG message;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1)
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    CloseHandle(thread);
    thread = NULL;
}

void JobProbe::Probe()
{
    DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result))
        unanswered++;
    DWORD waited = GetTickCount() - start;
    worstWaitMs = waited > worstWaitMs ? waited : worstWaitMs;
    probes++;
    HWND window = FindWindowA(PROGRESS_WINDOW_CLASS, NULL);
    HWND bar = window != NULL ? GetDlgItem(window, IDC_PROGRESS_BAR) : NULL;
    DWORD_PTR position = 0, top = 0;
    if (bar == NULL || !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 200, &position) ||
        !SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, 200, &top))
        return;
    positions.push_back((int)position);
    barTotal = (int)top;
    if (cancelAt >= 0 && cancelTick == 0 && (int)position >= cancelAt) {
        cancelTick = GetTickCount();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(window, IDCANCEL));
    }
}
