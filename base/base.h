// The ground every part of the program stands on, beside the shared state and the text
// helpers: the status line, entering the working directory, running a job, the names of
// entries that are what they say, and the Unix names of files under Winelib.
#ifndef FOTOBATCH_BASE_H
#define FOTOBATCH_BASE_H

#include <windows.h>

int ShowStatus(const char *text);

int EnterWorkDir(void);
int RunJob(int (*job)(void));
int IsPlainEntryName(const char *name);
int WriteAll(HANDLE handle, const void *data, DWORD length);
#ifdef __WINE__
int UnixFileName(const char *name, char *path, size_t cap);
#endif

#endif
