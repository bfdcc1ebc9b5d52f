#include "base.h"
#include "state.h"

// Makes workDir the current directory, which every job needs before it touches a
// relative name. When that fails the job must not go on in whatever directory happens to
// be current, so the user is told which directory could not be entered.
int EnterWorkDir(void)
{
    if (SetCurrentDirectoryA(workDir))
        return 1;
    ShowNamedError(NULL, "Папка недоступна, ничего не изменено:\n", workDir, MB_ICONINFORMATION);
    return 0;
}

// Runs a job with the main window disabled. The job's message boxes have no owner, so
// without this the main window's menu could start a second job from inside one of them.
int RunJob(int (*job)(void))
{
    EnableWindow(mainWindow, FALSE);
    int result = job();
    EnableWindow(mainWindow, TRUE);
    return result;
}
