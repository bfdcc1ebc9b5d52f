#include "program.h"

#include <stdlib.h>
#include <string.h>
#include <string>

StartedProgram::StartedProgram()
{
    memset(&process, 0, sizeof process);
    const char *buildDir = getenv("FOTOBATCH_BUILD_DIR");
    WCHAR *dosWide = wine_get_dos_file_name((std::string(buildDir ? buildDir : ".") + "/fotobatch.exe.so").c_str());
    char dosPath[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, dosWide, -1, dosPath, sizeof dosPath, NULL, NULL);
    HeapFree(GetProcessHeap(), 0, dosWide);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    started = CreateProcessA(dosPath, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process) != FALSE;
    window = WaitForWindow("Fotobatch", 30000);
}

StartedProgram::~StartedProgram()
{
    if (!started)
        return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

struct WindowSearch {
    DWORD processId;
    const char *caption;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND candidate, LPARAM searchParam)
{
    WindowSearch *search = (WindowSearch *)searchParam;
    DWORD processId = 0;
    GetWindowThreadProcessId(candidate, &processId);
    char caption[256] = "";
    GetWindowTextA(candidate, caption, sizeof caption);
    if (processId != search->processId || !IsWindowVisible(candidate) || strcmp(caption, search->caption) != 0)
        return TRUE;
    search->found = candidate;
    return FALSE;
}

HWND StartedProgram::WaitForWindow(const char *caption, int milliseconds) const
{
    WindowSearch search = {process.dwProcessId, caption, NULL};
    for (int waited = 0; started && search.found == NULL && waited <= milliseconds; waited += 50) {
        EnumWindows(MatchWindow, (LPARAM)&search);
        if (search.found == NULL)
            Sleep(50);
    }
    return search.found;
}

long StartedProgram::ExitCode()
{
    if (!started || WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return (long)code;
}

bool WaitUntilClosed(HWND window, int milliseconds)
{
    for (int waited = 0; IsWindow(window) && waited <= milliseconds; waited += 50)
        Sleep(50);
    return !IsWindow(window);
}
