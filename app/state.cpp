#include "state.h"

#include <string.h>

int thumbSize = 150;
char browseSpec[PATH_CAP] = "C:\\*.*";
char workDir[PATH_CAP] = "C:\\";
char thumbDirPath[PATH_CAP] = "C:\\thumbnails\\";
char outDirPath[PATH_CAP] = "C:\\out_images\\";
char thumbPathPrefix[PATH_CAP] = "thumbnails\\";
char findMask[PATH_CAP] = "*.jpg";
char thumbSuffix[PATH_CAP] = "_small.jpg";

char dateStamp[PATH_CAP];
PhotoRecordFields PhotoRecord;
int recordDefaultsSet = 0;

HANDLE imageLog = INVALID_HANDLE_VALUE;
FIBITMAP *dib = NULL;
FIBITMAP *thumb = NULL;
WIN32_FIND_DATAA WFD;

HWND mainWindow = NULL;
HINSTANCE appInstance = NULL;

// Writes the local time of this moment as year-month-day hour:minute:second, without
// leading zeros; every record of the run carries it as its date.
void BuildDateStamp(void)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    dateStamp[0] = '\0';
    TextAppendUnsigned(dateStamp, sizeof dateStamp, now.wYear);
    TextAppend(dateStamp, sizeof dateStamp, "-");
    TextAppendUnsigned(dateStamp, sizeof dateStamp, now.wMonth);
    TextAppend(dateStamp, sizeof dateStamp, "-");
    TextAppendUnsigned(dateStamp, sizeof dateStamp, now.wDay);
    TextAppend(dateStamp, sizeof dateStamp, " ");
    TextAppendUnsigned(dateStamp, sizeof dateStamp, now.wHour);
    TextAppend(dateStamp, sizeof dateStamp, ":");
    TextAppendUnsigned(dateStamp, sizeof dateStamp, now.wMinute);
    TextAppend(dateStamp, sizeof dateStamp, ":");
    TextAppendUnsigned(dateStamp, sizeof dateStamp, now.wSecond);
}

// Puts every setting back to its compiled-in default, as at start-up. Only the tests
// call it, so that each scenario starts from a fresh program.
void ResetSharedState(void)
{
    thumbSize = 150;
    TextCopy(browseSpec, sizeof browseSpec, "C:\\*.*");
    TextCopy(workDir, sizeof workDir, "C:\\");
    TextCopy(thumbDirPath, sizeof thumbDirPath, "C:\\thumbnails\\");
    TextCopy(outDirPath, sizeof outDirPath, "C:\\out_images\\");
    TextCopy(thumbPathPrefix, sizeof thumbPathPrefix, "thumbnails\\");
    TextCopy(findMask, sizeof findMask, "*.jpg");
    TextCopy(thumbSuffix, sizeof thumbSuffix, "_small.jpg");
    memset(&PhotoRecord, 0, sizeof PhotoRecord);
    recordDefaultsSet = 0;
    imageLog = INVALID_HANDLE_VALUE;
    dib = NULL;
    thumb = NULL;
    memset(&WFD, 0, sizeof WFD);
}
