#include "namefix.h"
#include "../base/state.h"

// The names a walk or an undo could not give back or give out: counted, the first few kept
// for the box that ends it.

// Starts an empty list.
void ClearNameList(NameList *list)
{
    list->count = 0;
    list->text[0] = '\0';
}

// Counts a name; the first REPORT_NAMES of them are kept, one a line.
void AddToNameList(NameList *list, const char *name)
{
    list->count++;
    if (list->count > REPORT_NAMES)
        return;
    TextAppend(list->text, sizeof list->text, name);
    TextAppend(list->text, sizeof list->text, "\n");
}

// The kept names, and a line for how many more there are.
void AppendNameList(char *text, size_t cap, const NameList *list)
{
    TextAppend(text, cap, list->text);
    if (list->count <= REPORT_NAMES)
        return;
    TextAppend(text, cap, "... и ещё ");
    TextAppendInt(text, cap, list->count - REPORT_NAMES);
    TextAppend(text, cap, "\n");
}

// The box at the end of a walk in which some entries kept their old names.
void ShowRenameFailures(const NameList *failed)
{
    if (failed->count == 0)
        return;
    char text[REPORT_TEXT_CAP];
    TextCopy(text, sizeof text, "Не удалось переименовать: ");
    TextAppendInt(text, sizeof text, failed->count);
    TextAppend(text, sizeof text, "\n");
    AppendNameList(text, sizeof text, failed);
    MessageBoxA(NULL, text, "Error", MB_OK | MB_ICONINFORMATION);
}
