// The ground every part of the program stands on, beside the shared state and the text
// helpers: the status line, entering the working directory, running a job, the names of
// entries that are what they say, and the Unix names of files under Winelib.
#ifndef FOTOBATCH_BASE_H
#define FOTOBATCH_BASE_H

#include <windows.h>

int ShowStatus(const char *text);
// A box captioned "Error" whose text is the given text followed by the name it concerns.
void ShowNamedError(HWND owner, const char *text, const char *name, UINT icon);

int EnterWorkDir(void);
int RunJob(int (*job)(void));
int JobRunning(void);
int IsPlainEntryName(const char *name);
int IsFolderItself(const char *name);
int ReadAll(HANDLE handle, void *data, DWORD length);
int WriteAll(HANDLE handle, const void *data, DWORD length);
// FindFirstFileA and FindNextFileA, but a name the code page cannot hold is never
// best-fitted into another entry's name: its characters come as '?'.
HANDLE FindFirstEntry(const char *mask, WIN32_FIND_DATAA *found);
BOOL FindNextEntry(HANDLE search, WIN32_FIND_DATAA *found);
int CountEntries(const char *mask);
#ifdef __WINE__
int UnixFileName(const char *name, char *path, size_t cap);
#endif

#endif
