// The directory chooser: browses drives and directories and sets workDir.
#ifndef FOTOBATCH_CHOOSER_H
#define FOTOBATCH_CHOOSER_H

#include <windows.h>
#include <stddef.h>

INT_PTR CALLBACK DirChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SelectDirectoryCommand(HWND owner);
void RunDirChooser(HWND owner);
int BuildWorkDirPath(char *path, size_t cap, const char *suffix);
void BuildThumbDirPath(void);
// Takes the current directory, letter case included, as workDir; 0 when its name is too
// long for a path, and workDir stays.
int TakeCurrentDirectory(void);

#endif
