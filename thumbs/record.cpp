#include "thumbs.h"
#include "../base/base.h"
#include "../base/state.h"
#include "../res/resource.h"
#include "thumbfile.h"

#include <string.h>

// One statement: nine values that may each double every byte, plus the fixed text.
#define STATEMENT_CAP (9 * 2 * FIELD_CAP + 256)

static const char logName[] = "imagelog.sql";

// Appends a value as the inside of a MySQL string literal: a quote or a backslash would
// end the literal early or escape the byte after it, so each is doubled; every other byte,
// Windows-1251 letters and the CR LF of a commentary included, goes in as it is.
static int AppendSqlText(char *dst, size_t cap, const char *value)
{
    size_t used = strnlen(dst, cap);
    int fit = 1;
    while (*value != '\0' && fit) {
        size_t run = strcspn(value, "'\\");
        if (run > 0) {
            fit = TextCopyPrefix(dst + used, cap - used, value, run);
            used += strlen(dst + used);
            value += run;
        } else {
            fit = TextCopy(dst + used, cap - used, *value == '\'' ? "''" : "\\\\");
            used += strlen(dst + used);
            value++;
        }
    }
    return fit;
}

// Makes the INSERT statement of PhotoRecord, ending in a line feed alone.
static int BuildStatement(char *statement, size_t cap)
{
    int fit = TextCopy(statement, cap, "INSERT INTO photo_img (");
    for (int i = 0; i < RECORD_COLUMNS; i++) {
        fit = TextAppend(statement, cap, i == 0 ? "`" : ", `") && fit;
        fit = TextAppend(statement, cap, recordColumns[i].name) && fit;
        fit = TextAppend(statement, cap, "`") && fit;
    }
    fit = TextAppend(statement, cap, ") VALUES (") && fit;
    for (int i = 0; i < RECORD_COLUMNS; i++) {
        fit = TextAppend(statement, cap, i == 0 ? "'" : ",'") && fit;
        fit = AppendSqlText(statement, cap, recordColumns[i].value) && fit;
        fit = TextAppend(statement, cap, "'") && fit;
    }
    return TextAppend(statement, cap, ");\n") && fit;
}

// Cuts the log back to the given length, where its last whole statement ends.
static void CutLogBack(LARGE_INTEGER end)
{
    if (SetFilePointerEx(imageLog, end, NULL, FILE_BEGIN))
        SetEndOfFile(imageLog);
    FlushFileBuffers(imageLog);
}

// Writes one statement into the open log with a single write and pushes it to the disk
// at once, so that a program that dies later in the batch keeps every row it had written.
// The room is reserved first, so a full disk stops the job before a byte of the row is
// written; a write that still fails or falls short is cut off again, so the log always
// ends with a whole statement.
static int WriteStatement(void)
{
    char statement[STATEMENT_CAP];
    if (imageLog == INVALID_HANDLE_VALUE || !BuildStatement(statement, sizeof statement))
        return 0;
    DWORD length = (DWORD)strlen(statement);
    LARGE_INTEGER zero;
    LARGE_INTEGER end;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(imageLog, zero, &end, FILE_CURRENT))
        return 0;
    if (!ReserveRoom(imageLog, logName, length))
        return 0;
    DWORD written = 0;
    if (WriteFile(imageLog, statement, length, &written, NULL) && written == length &&
        FlushFileBuffers(imageLog))
        return 1;
    CutLogBack(end);
    return 0;
}

// Writes a number into a record field as plain decimal digits.
static void SetNumberField(char *field, unsigned long long value)
{
    field[0] = '\0';
    TextAppendUnsigned(field, FIELD_CAP, value);
}

// The six values known of the image. The size is the whole 64-bit size, so files of
// 2 GiB and more keep their true size; width and height are the photo's as it is seen,
// turned as its Exif orientation says.
static void FillRecordFromImage(const BatchImage *image)
{
    TextCopy(PhotoRecord.name, FIELD_CAP, image->entry.cFileName);
    TextCopy(PhotoRecord.img_name, FIELD_CAP, image->entry.cFileName);
    SetNumberField(PhotoRecord.width, image->width);
    SetNumberField(PhotoRecord.height, image->height);
    SetNumberField(PhotoRecord.size, image->fileSize);
    TextCopy(PhotoRecord.date, FIELD_CAP, dateStamp);
}

// Fills PhotoRecord for the image and lets the user edit it, unless Default was chosen
// earlier in this job.
void DescribeImage(const BatchImage *image)
{
    FillRecordFromImage(image);
    if (recordDefaultsSet == 0)
        DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_PHOTO_RECORD), mainWindow,
                        PhotoRecordProc, 0);
}

// Writes the statement of PhotoRecord and shows the file's name. When the log cannot
// take it, the user is told which image's row is missing, and 0 tells the job to end.
int WriteImageStatement(const BatchImage *image)
{
    if (!WriteStatement()) {
        ShowNamedError(NULL,
                       "Не удалось записать imagelog.sql (диск полон?), задание остановлено.\n"
                       "Нет строки для файла:\n",
                       image->entry.cFileName, MB_ICONINFORMATION);
        return 0;
    }
    ShowStatus(image->entry.cFileName);
    return 1;
}

// Whether an imagelog.sql is there that may not be written: the read-only attribute (on
// a Linux disk, no write permission at all), or an open for writing refused. The rename
// that puts a new log in place would go round that protection.
static int LogIsProtected(void)
{
    DWORD attributes = GetFileAttributesA(logName);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return 1;
    HANDLE log = CreateFileA(logName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(log);
    return 0;
}

// The log is made new under a temporary name and renamed over imagelog.sql: a link of
// that name is replaced, never written through, and an earlier log stays whole until the
// new one stands in its place. A protected log is left as it is, and the job does not run.
int OpenImageLog(void)
{
    char tempName[PATH_CAP];
    HANDLE log = LogIsProtected() ? INVALID_HANDLE_VALUE : CreateTempFileIn(".", tempName, sizeof tempName);
    if (log != INVALID_HANDLE_VALUE && RenameOver(tempName, logName)) {
        imageLog = log;
        return 1;
    }
    if (log != INVALID_HANDLE_VALUE) {
        CloseHandle(log);
        DeleteFileA(tempName);
    }
    MessageBoxA(NULL, "fopen imagelog.sql", "Error", MB_OK | MB_ICONINFORMATION);
    return 0;
}

// Closes the log if this job opened it.
void CloseImageLog(void)
{
    if (imageLog == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(imageLog);
    imageLog = INVALID_HANDLE_VALUE;
}
