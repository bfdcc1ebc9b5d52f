#include "state.h"

#include <string.h>

// Every value is set at start-up, by SetStartUpState.
int thumbSize;
char browseSpec[PATH_CAP];
char workDir[PATH_CAP];
char thumbDirPath[PATH_CAP];
char outDirPath[PATH_CAP];
char findMask[PATH_CAP];
char thumbSuffix[PATH_CAP];

char dateStamp[PATH_CAP];
PhotoRecordFields PhotoRecord;
int recordDefaultsSet;

HANDLE imageLog;

HWND mainWindow = NULL;
HINSTANCE appInstance = NULL;

// Writes a moment as year-month-day hour:minute:second in decimal, without leading zeros
// or anything else.
void FormatDateStamp(const SYSTEMTIME *moment, char *text, size_t cap)
{
    text[0] = '\0';
    TextAppendUnsigned(text, cap, moment->wYear);
    TextAppend(text, cap, "-");
    TextAppendUnsigned(text, cap, moment->wMonth);
    TextAppend(text, cap, "-");
    TextAppendUnsigned(text, cap, moment->wDay);
    TextAppend(text, cap, " ");
    TextAppendUnsigned(text, cap, moment->wHour);
    TextAppend(text, cap, ":");
    TextAppendUnsigned(text, cap, moment->wMinute);
    TextAppend(text, cap, ":");
    TextAppendUnsigned(text, cap, moment->wSecond);
}

// Stamps the run with the local time of start-up; every record of the run carries it.
static void BuildDateStamp(void)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatDateStamp(&now, dateStamp, sizeof dateStamp);
}

// The state every run starts with: the compiled-in settings, no job running, and the date
// stamp of this start.
void SetStartUpState(void)
{
    thumbSize = THUMB_SIZE_DEFAULT;
    TextCopy(browseSpec, sizeof browseSpec, "C:\\*.*");
    TextCopy(workDir, sizeof workDir, "C:\\");
    TextCopy(thumbDirPath, sizeof thumbDirPath, "C:" THUMB_DIR_SUFFIX);
    TextCopy(outDirPath, sizeof outDirPath, "C:" OUT_DIR_SUFFIX);
    TextCopy(findMask, sizeof findMask, "*.jpg");
    TextCopy(thumbSuffix, sizeof thumbSuffix, "_small.jpg");
    memset(&PhotoRecord, 0, sizeof PhotoRecord);
    recordDefaultsSet = 0;
    imageLog = INVALID_HANDLE_VALUE;
    BuildDateStamp();
}
