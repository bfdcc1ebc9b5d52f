// The application shell: start-up, main window, status line and the small services that
// both jobs share.
#ifndef FOTOBATCH_APP_H
#define FOTOBATCH_APP_H

#include <windows.h>

ATOM RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
int StartMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

int ShowStatus(const char *text);

int EnterWorkDir(void);
#ifdef __WINE__
int UnixFileName(const char *name, char *path, size_t cap);
#endif
int RunJob(int (*job)(void));
void LoadWindowStrings(HINSTANCE instance);

#endif
