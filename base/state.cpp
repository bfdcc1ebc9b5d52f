#include "state.h"

#include <string.h>

// The compiled-in defaults with which every run starts.
#define DEFAULT_BROWSE_SPEC "C:\\*.*"
#define DEFAULT_WORK_DIR "C:\\"
#define DEFAULT_THUMB_DIR_PATH "C:" THUMB_DIR_SUFFIX
#define DEFAULT_OUT_DIR_PATH "C:" OUT_DIR_SUFFIX
#define DEFAULT_FIND_MASK "*.jpg"
#define DEFAULT_THUMB_SUFFIX "_small.jpg"

int thumbSize = THUMB_SIZE_DEFAULT;
char browseSpec[PATH_CAP] = DEFAULT_BROWSE_SPEC;
char workDir[PATH_CAP] = DEFAULT_WORK_DIR;
char thumbDirPath[PATH_CAP] = DEFAULT_THUMB_DIR_PATH;
char outDirPath[PATH_CAP] = DEFAULT_OUT_DIR_PATH;
char findMask[PATH_CAP] = DEFAULT_FIND_MASK;
char thumbSuffix[PATH_CAP] = DEFAULT_THUMB_SUFFIX;

char dateStamp[PATH_CAP];
PhotoRecordFields PhotoRecord;
int recordDefaultsSet = 0;

HANDLE imageLog = INVALID_HANDLE_VALUE;

void (WINAPI *readLocalClock)(SYSTEMTIME *moment) = GetLocalTime;

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
void BuildDateStamp(void)
{
    SYSTEMTIME now;
    readLocalClock(&now);
    FormatDateStamp(&now, dateStamp, sizeof dateStamp);
}

// Puts every setting back to its compiled-in default, as at start-up. Only the tests
// call it, so that each scenario starts from a fresh program.
void ResetSharedState(void)
{
    thumbSize = THUMB_SIZE_DEFAULT;
    TextCopy(browseSpec, sizeof browseSpec, DEFAULT_BROWSE_SPEC);
    TextCopy(workDir, sizeof workDir, DEFAULT_WORK_DIR);
    TextCopy(thumbDirPath, sizeof thumbDirPath, DEFAULT_THUMB_DIR_PATH);
    TextCopy(outDirPath, sizeof outDirPath, DEFAULT_OUT_DIR_PATH);
    TextCopy(findMask, sizeof findMask, DEFAULT_FIND_MASK);
    TextCopy(thumbSuffix, sizeof thumbSuffix, DEFAULT_THUMB_SUFFIX);
    memset(&PhotoRecord, 0, sizeof PhotoRecord);
    recordDefaultsSet = 0;
    imageLog = INVALID_HANDLE_VALUE;
}
