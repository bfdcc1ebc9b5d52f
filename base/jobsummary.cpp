#include "progress.h"
#include "base.h"
#include "state.h"

#include <string.h>

// The box that ends every job that began its walk, cancelled or not: what was done, which
// entries were missed (the first few by name) and how long it took. Then the main window
// is repainted, so that the status line shows the working directory again instead of the
// job's last text.

void TallyStart(JobTally *tally)
{
    memset(tally, 0, sizeof *tally);
    tally->startTick = GetTickCount();
}

void ClearNameList(NameList *list)
{
    list->count = 0;
    list->text[0] = '\0';
}

void AddToNameList(NameList *list, const char *name)
{
    list->count++;
    if (list->count > SUMMARY_NAMES)
        return;
    TextAppend(list->text, sizeof list->text, name);
    TextAppend(list->text, sizeof list->text, "\n");
}

// The named entries, and a line for how many more there are.
void AppendNameList(char *text, size_t cap, const NameList *list)
{
    TextAppend(text, cap, list->text);
    if (list->count <= SUMMARY_NAMES)
        return;
    TextAppend(text, cap, "... и ещё ");
    TextAppendInt(text, cap, list->count - SUMMARY_NAMES);
    TextAppend(text, cap, "\n");
}

// Appends "label: count" and a line end.
static void AppendCountLine(char *text, size_t cap, const char *label, int count)
{
    TextAppend(text, cap, label);
    TextAppendInt(text, cap, count);
    TextAppend(text, cap, "\n");
}

// "Время: 12,3 с", from the job's start to now.
static void AppendTimeTaken(char *text, size_t cap, const JobTally *tally)
{
    DWORD tenths = (GetTickCount() - tally->startTick + 50) / 100;
    TextAppend(text, cap, SUMMARY_TIME_LABEL);
    TextAppendUnsigned(text, cap, tenths / 10);
    TextAppend(text, cap, ",");
    TextAppendUnsigned(text, cap, tenths % 10);
    TextAppend(text, cap, " с");
}

// Shows the box, then the working directory in the status line. Entries missed make it
// a warning.
static void ShowSummary(char *text, size_t cap, const JobTally *tally)
{
    AppendTimeTaken(text, cap, tally);
    UINT icon = tally->missed.count > 0 ? MB_ICONWARNING : MB_ICONINFORMATION;
    MessageBoxA(NULL, text, SUMMARY_CAPTION, MB_OK | icon);
    InvalidateRect(mainWindow, NULL, TRUE);
    UpdateWindow(mainWindow);
}

// The first line: how the job ended.
static void BeginSummary(char *text, size_t cap)
{
    TextCopy(text, cap, ProgressCancelled() ? "Задание остановлено (Отмена).\n" : "Задание выполнено.\n");
}

void ShowThumbnailSummary(const JobTally *tally)
{
    char text[NAME_LIST_TEXT_CAP];
    BeginSummary(text, sizeof text);
    AppendCountLine(text, sizeof text, "Миниатюр записано: ", tally->done);
    AppendCountLine(text, sizeof text, "Пропущено: ", tally->missed.count);
    AppendNameList(text, sizeof text, &tally->missed);
    ShowSummary(text, sizeof text, tally);
}

void ShowNameFixSummary(const JobTally *tally)
{
    char text[NAME_LIST_TEXT_CAP];
    BeginSummary(text, sizeof text);
    AppendCountLine(text, sizeof text, "Переименовано: ", tally->done);
    AppendCountLine(text, sizeof text, "Без изменений: ", tally->unchanged);
    AppendCountLine(text, sizeof text, "Не удалось переименовать: ", tally->missed.count);
    AppendNameList(text, sizeof text, &tally->missed);
    ShowSummary(text, sizeof text, tally);
}
