// The directory chooser: browses drives and directories and sets workDir.
#ifndef FOTOBATCH_CHOOSER_H
#define FOTOBATCH_CHOOSER_H

#include <windows.h>

INT_PTR CALLBACK DirChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SelectDirectoryCommand(HWND owner);

#endif
