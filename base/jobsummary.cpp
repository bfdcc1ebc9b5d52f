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

// Counts a missed entry; the first few are named, one a line.
void TallyMissed(JobTally *tally, const char *name)
{
    tally->missed++;
    if (tally->missed > SUMMARY_NAMES)
        return;
    TextAppend(tally->missedNames, sizeof tally->missedNames, "\n    ");
    TextAppend(tally->missedNames, sizeof tally->missedNames, name);
}

// Appends "label: count" and a line end.
static void AppendCountLine(char *text, size_t cap, const char *label, int count)
{
    TextAppend(text, cap, label);
    TextAppendInt(text, cap, count);
    TextAppend(text, cap, "\n");
}

// Appends the named missed entries, "..." for those only counted.
static void AppendMissedNames(char *text, size_t cap, const JobTally *tally)
{
    if (tally->missed == 0)
        return;
    // the names begin with a line end of their own
    size_t length = strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[length - 1] = '\0';
    TextAppend(text, cap, tally->missedNames);
    TextAppend(text, cap, tally->missed > SUMMARY_NAMES ? "\n    ...\n" : "\n");
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

// Shows the box, then the working directory in the status line.
static void ShowSummary(char *text, size_t cap, const JobTally *tally)
{
    AppendTimeTaken(text, cap, tally);
    MessageBoxA(NULL, text, SUMMARY_CAPTION, MB_OK | MB_ICONINFORMATION);
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
    char text[sizeof tally->missedNames + 256];
    BeginSummary(text, sizeof text);
    AppendCountLine(text, sizeof text, "Миниатюр записано: ", tally->done);
    AppendCountLine(text, sizeof text, "Пропущено: ", tally->missed);
    AppendMissedNames(text, sizeof text, tally);
    ShowSummary(text, sizeof text, tally);
}

void ShowNameFixSummary(const JobTally *tally)
{
    char text[sizeof tally->missedNames + 256];
    BeginSummary(text, sizeof text);
    AppendCountLine(text, sizeof text, "Переименовано: ", tally->done);
    AppendCountLine(text, sizeof text, "Без изменений: ", tally->unchanged);
    AppendCountLine(text, sizeof text, "Не удалось переименовать: ", tally->missed);
    AppendMissedNames(text, sizeof text, tally);
    ShowSummary(text, sizeof text, tally);
}
