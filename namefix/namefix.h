// Name fixing: the name-fix dialog, the transliterating rename walk, its journal and the
// undo of the last walk.
#ifndef FOTOBATCH_NAMEFIX_H
#define FOTOBATCH_NAMEFIX_H

#include <windows.h>
#include "../base/progress.h"
#include "../base/state.h"

extern int renameCounter;
extern const char translitSource[77];
extern const char translitTarget[77];

INT_PTR CALLBACK NameFixProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int FixFileNames(void);
int MakeFixedName(const char *name, char *fixed, size_t cap);
int RefuseSystemFolder(void);
int SystemFolderPath(int csidl, char *path);

// Renaming inside the current directory, never over another entry.
int OpenRenameFolder(void);
void CloseRenameFolder(void);
int RenameEntry(const char *oldName, const char *newName);
int EntryExists(const char *name);
// A change of letter case alone passes through a temporary name that starts so.
#define TEMP_NAME_PREFIX "~fotobatch-"

// The journal of the last walk, in the user's application-data folder.
#define JOURNAL_FOLDER "Fotobatch"
#define JOURNAL_FILE "fix-journal.txt"
#define JOURNAL_HEADER "Fotobatch FIX"
int FixJournalPath(char *path, size_t cap, int makeFolder);
void BeginFixJournal(void);
int JournalRename(const char *oldName, const char *newName);
void JournalFailedRename(void);
void EndFixJournal(void);
int HasFixToUndo(void);

// "&Undo last FIX".
#define UNDO_CAPTION "Undo last FIX"
int UndoLastFix(void);
void UndoFixCommand(void);
void ShowUndoFixState(HMENU menu);

#endif
