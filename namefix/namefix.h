// Name fixing: the name-fix dialog and the transliterating rename walk.
#ifndef FOTOBATCH_NAMEFIX_H
#define FOTOBATCH_NAMEFIX_H

#include <windows.h>

extern int renameCounter;
extern const char translitSource[77];
extern const char translitTarget[77];

INT_PTR CALLBACK NameFixProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int FixFileNames(void);
int FixFileName(const char *name);
int MakeFixedName(const char *name, char *fixed, size_t cap);
int OpenRenameFolder(void);
void CloseRenameFolder(void);
int RenameEntry(const char *oldName, const char *newName);

#endif
