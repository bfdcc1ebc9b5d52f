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

static int jobRunning;

// Runs a job with the main window disabled. The job's message boxes have no owner, so
// without this the main window's menu could start a second job from inside one of them.
// A job handles messages while it runs; a command that still reaches the program then
// (posted, not clicked) starts no second job.
int RunJob(int (*job)(void))
{
    if (jobRunning)
        return 0;
    jobRunning = 1;
    EnableWindow(mainWindow, FALSE);
    int result = job();
    EnableWindow(mainWindow, TRUE);
    jobRunning = 0;
    return result;
}

int JobRunning(void)
{
    return jobRunning;
}
