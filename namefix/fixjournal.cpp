#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"

#include <shlobj.h>
#include <string.h>

// The journal of the last walk, %APPDATA%\Fotobatch\fix-journal.txt: a first line naming
// the folder, then one line "old<TAB>new" written before each rename is tried, and a line
// "!" after one that failed. The lines reach the system before the rename does, so a
// program killed in the middle of a walk leaves every rename that may have happened
// behind it. A new walk starts it afresh at its first rename; an undo removes it.
// (Entry names hold no tab and no line break: IsPlainEntryName refuses control bytes.)

static HANDLE journal = INVALID_HANDLE_VALUE;
static char journalFolder[PATH_CAP];

// The journal's path, its folder made first when asked; 0 when there is none. The user's
// application-data folder is taken from APPDATA, which Windows and Wine set for every
// program, so that the File menu's look at the journal loads no shell library; from the
// system when it is not set.
int FixJournalPath(char *path, size_t cap, int makeFolder)
{
    char appData[PATH_CAP];
    DWORD length = GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
    int known = length > 0 && length < sizeof appData;
    if (!known)
        known = SystemFolderPath(CSIDL_APPDATA | (makeFolder ? CSIDL_FLAG_CREATE : 0), appData);
    if (!known || !TextCopy(path, cap, appData) || !TextAppend(path, cap, "\\" JOURNAL_FOLDER))
        return 0;
    if (makeFolder)
        CreateDirectoryA(path, NULL);
    return TextAppend(path, cap, "\\" JOURNAL_FILE);
}

// Readies a journal for the walk over the current directory; nothing is written before
// the walk's first rename, so a walk that renames nothing keeps the last one undoable.
void BeginFixJournal(void)
{
    journal = INVALID_HANDLE_VALUE;
    if (!GetCurrentDirectoryA(sizeof journalFolder, journalFolder))
        journalFolder[0] = '\0';
}

// Writes one line to the journal; 0 when it did not take all of it.
static int WriteJournalLine(const char *first, const char *second)
{
    char line[PATH_CAP * 2 + 20];
    int fit = TextCopy(line, sizeof line, first);
    fit = TextAppend(line, sizeof line, second) && fit;
    fit = TextAppend(line, sizeof line, "\r\n") && fit;
    return fit && WriteAll(journal, line, (DWORD)strlen(line));
}

// Makes the journal new, with the folder's line.
static int OpenFixJournal(void)
{
    char path[PATH_CAP];
    if (journalFolder[0] == '\0' || !FixJournalPath(path, sizeof path, 1))
        return 0;
    journal = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    if (journal == INVALID_HANDLE_VALUE)
        return 0;
    return WriteJournalLine(JOURNAL_HEADER "\t", journalFolder) && FlushFileBuffers(journal);
}

// Notes a rename about to be tried; 0 when the journal cannot take it, and then the
// rename must not be tried.
int JournalRename(const char *oldName, const char *newName)
{
    if (journal == INVALID_HANDLE_VALUE && !OpenFixJournal())
        return 0;
    char pair[PATH_CAP + 2];
    TextCopy(pair, sizeof pair, oldName);
    TextAppend(pair, sizeof pair, "\t");
    return WriteJournalLine(pair, newName);
}

// Notes that the rename just noted failed, so that the undo leaves its names alone.
void JournalFailedRename(void)
{
    WriteJournalLine("!", "");
}

// Ends the walk's journal: pushed to the disk and closed.
void EndFixJournal(void)
{
    if (journal == INVALID_HANDLE_VALUE)
        return;
    FlushFileBuffers(journal);
    CloseHandle(journal);
    journal = INVALID_HANDLE_VALUE;
}

// Whether a journal waits to be undone.
int HasFixToUndo(void)
{
    char path[PATH_CAP];
    return FixJournalPath(path, sizeof path, 0) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
