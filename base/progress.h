// What a running job shows and keeps answering: the progress window ("n of N", the bar,
// the entry's name, the time left, "Отмена") and, at the end, the summary box.
#ifndef FOTOBATCH_PROGRESS_H
#define FOTOBATCH_PROGRESS_H

#include <windows.h>
#include "state.h"

#define PROGRESS_WINDOW_CLASS "FotobatchProgress"
#define SUMMARY_CAPTION "Итог задания"
#define SUMMARY_TIME_LABEL "Время: "  // the summary's last line, the time the job took
#define SUMMARY_NAMES 5  // the entries a box names; more are only counted

// Registers the progress window's class and the progress bar's common control, once per
// run: at start-up, so that no job waits for the library to load.
void RegisterProgressClass(void);
// Begins a job of total entries; its progress window comes up over the main window once
// the job has run a moment.
void ProgressOpen(const char *caption, int total);
// Entry n+1 begins: the window shows it, and waiting messages are handled (every 50 ms). 0
// once Cancel was pressed: the job ends instead of beginning the entry.
int ProgressNext(const char *name);
// Handles the messages waiting for any window of the program, so that every window
// repaints while the job works; for a job that waits. 0 once Cancel was pressed.
int ProgressHandleMessages(void);
int ProgressCancelled(void);
void ProgressClose(void);
// Writes "n of N" into the text.
void FormatCount(char *text, size_t cap, int n, int total);

// Entries a box reports: counted, the first few named, one a line.
struct NameList {
    int count;
    char text[(PATH_CAP + 1) * SUMMARY_NAMES];
};
#define NAME_LIST_TEXT_CAP (sizeof(NameList) + 256)  // a box's text around one list
void ClearNameList(NameList *list);
void AddToNameList(NameList *list, const char *name);
void AppendNameList(char *text, size_t cap, const NameList *list);

// What a job did, for its summary. Thumbnails: done are the thumbnails written, missed
// the entries skipped. FIX: done renamed, unchanged, missed the renames that failed.
struct JobTally {
    DWORD startTick;
    int done;
    int unchanged;
    NameList missed;
};
void TallyStart(JobTally *tally);
void ShowThumbnailSummary(const JobTally *tally);
void ShowNameFixSummary(const JobTally *tally);

#endif
