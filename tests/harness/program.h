// The program itself, fotobatch.exe.so from the build directory, started as its own process
// as a person starts it, and the windows it opens, found among that process's windows.
#ifndef FOTOBATCH_PROGRAM_H
#define FOTOBATCH_PROGRAM_H

#include "gtest_win.h"

class StartedProgram {
public:
    StartedProgram();   // starts it and waits for its main window
    ~StartedProgram();  // ends it if it still runs
    // A visible top-level window of the program with this caption, waited for up to the
    // given time; NULL when none came.
    HWND WaitForWindow(const char *caption, int milliseconds = 20000) const;
    // Waits until the program has ended; its exit code, or -1 if it did not end.
    long ExitCode();

    bool started = false;
    HWND window = NULL;  // its main window
    PROCESS_INFORMATION process;
};

// Waits until a window is gone; false if it is still there after the given time.
bool WaitUntilClosed(HWND window, int milliseconds = 20000);

#endif
