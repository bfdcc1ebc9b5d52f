// The application shell: start-up, the main window and the About box.
#ifndef FOTOBATCH_APP_H
#define FOTOBATCH_APP_H

#include <windows.h>

ATOM RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
int StartMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void LoadWindowStrings(HINSTANCE instance);
void OpenFolderFromCommandLine(const char *commandLine);

#endif
