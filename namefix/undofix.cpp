#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"
#include "../res/resource.h"

#include <string.h>

// "&Undo last FIX": the journal's renames made backwards, last first, each under the
// same rule as the walk's: never over another entry. An entry no longer under its new
// name, or whose old name is taken meanwhile, is left alone and named in the box.

// Renames one journaled pair back; a pair whose rename never happened (the journal
// notes a rename before it is tried) is passed over. An entry whose letter case alone
// changed went through a temporary name: it counts once, when it leaves that name.
static void UndoRename(const char *oldName, const char *newName, int *restored, NameList *left)
{
    if (RenameEntry(newName, oldName))
        *restored += strncmp(oldName, TEMP_NAME_PREFIX, sizeof TEMP_NAME_PREFIX - 1) != 0;
    else if (EntryExists(newName) || !EntryExists(oldName))
        AddToNameList(left, newName);
}

// Undoes one line of the journal; "!" marks the pair above it as one that failed.
static void UndoLine(const char *line, size_t length, int *skipPair, int *restored, NameList *left)
{
    char oldName[PATH_CAP];
    char newName[PATH_CAP];
    if (length > 0 && line[length - 1] == '\r')
        length--;
    const char *tab = (const char *)memchr(line, '\t', length);
    if (tab == NULL) {
        *skipPair = length == 1 && line[0] == '!';
        return;
    }
    int skip = *skipPair;
    *skipPair = 0;
    if (skip || !TextCopyPrefix(oldName, sizeof oldName, line, (size_t)(tab - line)) ||
        !TextCopyPrefix(newName, sizeof newName, tab + 1, (size_t)(line + length - tab - 1)))
        return;
    UndoRename(oldName, newName, restored, left);
}

// Undoes every whole line after the folder's line, last first. A last line without its
// line feed was cut by a killed program before its rename was tried.
static void UndoLines(const char *body, const char *end, int *restored, NameList *left)
{
    int skipPair = 0;
    while (end > body && end[-1] != '\n')
        end--;
    while (end > body) {
        const char *lineEnd = end - 1;
        const char *start = lineEnd;
        while (start > body && start[-1] != '\n')
            start--;
        UndoLine(start, (size_t)(lineEnd - start), &skipPair, restored, left);
        end = start;
    }
}

// The box at the end of an undo: how many names came back, and those left.
static void ShowUndoResult(const char *folder, int restored, const NameList *left)
{
    char text[NAME_LIST_TEXT_CAP];
    TextCopy(text, sizeof text, folder);
    TextAppend(text, sizeof text, "\nВосстановлено имён: ");
    TextAppendInt(text, sizeof text, restored);
    if (left->count > 0) {
        TextAppend(text, sizeof text, "\nОставлены (имени нет или старое имя занято): ");
        TextAppendInt(text, sizeof text, left->count);
        TextAppend(text, sizeof text, "\n");
        AppendNameList(text, sizeof text, left);
    }
    MessageBoxA(NULL, text, UNDO_CAPTION, MB_OK | MB_ICONINFORMATION);
}

// The box for an undo that finds nothing to undo.
static void ShowNothingToUndo(void)
{
    MessageBoxA(NULL, "Нечего отменять: последний FIX уже отменён или ничего не переименовал.",
                UNDO_CAPTION, MB_OK | MB_ICONINFORMATION);
}

// The folder named by the journal's first line; 0 when the line is not one.
static int JournalFolder(const char *view, const char *end, char *folder, size_t cap, const char **body)
{
    const size_t headerLength = sizeof JOURNAL_HEADER;  // with its tab in place of the NUL
    const char *lineEnd = (const char *)memchr(view, '\n', (size_t)(end - view));
    if (lineEnd == NULL || (size_t)(lineEnd - view) <= headerLength ||
        memcmp(view, JOURNAL_HEADER "\t", headerLength) != 0)
        return 0;
    *body = lineEnd + 1;
    size_t length = (size_t)(lineEnd - view) - headerLength;
    if (view[headerLength + length - 1] == '\r')
        length--;
    return TextCopyPrefix(folder, cap, view + headerLength, length);
}

// Undoes the journal's walk from its mapped bytes; 0 when its folder cannot be entered
// (the journal then stays, to be undone once the folder is back).
static int UndoJournal(const char *view, const char *end)
{
    char folder[PATH_CAP];
    const char *body = end;
    if (!JournalFolder(view, end, folder, sizeof folder, &body)) {
        ShowNothingToUndo();
        return 1;
    }
    if (!SetCurrentDirectoryA(folder)) {
        ShowNamedError(NULL, "Папка недоступна, ничего не изменено:\n", folder, MB_ICONINFORMATION);
        return 0;
    }
    int restored = 0;
    NameList left;
    ClearNameList(&left);
    OpenRenameFolder();
    UndoLines(body, end, &restored, &left);
    CloseRenameFolder();
    ShowUndoResult(folder, restored, &left);
    return 1;
}

// Undoes the journal at that path and removes it once it is done.
static void UndoJournalFile(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD size = GetFileSize(file, NULL);
    HANDLE mapping = size == 0 || size == INVALID_FILE_SIZE
                         ? NULL : CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    const char *view = mapping == NULL ? NULL : (const char *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == NULL)
        ShowNothingToUndo();
    int done = view == NULL || UndoJournal(view, view + size);
    if (view != NULL)
        UnmapViewOfFile(view);
    if (mapping != NULL)
        CloseHandle(mapping);
    CloseHandle(file);
    if (done)
        DeleteFileA(path);
}

// Undoes the last walk, if there is one to undo; the current directory is kept.
int UndoLastFix(void)
{
    char path[PATH_CAP];
    if (!HasFixToUndo() || !FixJournalPath(path, sizeof path, 0)) {
        ShowNothingToUndo();
        return 1;
    }
    char current[PATH_CAP];
    DWORD kept = GetCurrentDirectoryA(sizeof current, current);
    UndoJournalFile(path);
    if (kept > 0 && kept < sizeof current)
        SetCurrentDirectoryA(current);
    return 1;
}

// The menu command: the undo runs as a job, with the main window disabled.
void UndoFixCommand(void)
{
    RunJob(UndoLastFix);
}

// Greys "&Undo last FIX" in a menu about to open while there is nothing to undo.
void ShowUndoFixState(HMENU menu)
{
    EnableMenuItem(menu, IDM_UNDO_FIX, MF_BYCOMMAND | (HasFixToUndo() ? MF_ENABLED : MF_GRAYED));
}
