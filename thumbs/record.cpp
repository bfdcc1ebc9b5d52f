#include "thumbs.h"
#include "orientation.h"
#include "../app/app.h"
#include "../app/state.h"
#include "../res/resource.h"

#include <string.h>

// One statement: nine values that may each double every byte, plus the fixed text.
#define STATEMENT_CAP (9 * 2 * FIELD_CAP + 256)

static char statement[STATEMENT_CAP];

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
static int BuildStatement(void)
{
    const char *values[9] = {
        PhotoRecord.name, PhotoRecord.img_name, PhotoRecord.commentary,
        PhotoRecord.width, PhotoRecord.height, PhotoRecord.size,
        PhotoRecord.date, PhotoRecord.sec_id, PhotoRecord.dir,
    };
    int fit = TextCopy(statement, sizeof statement,
                       "INSERT INTO photo_img (`name`, `img_name`, `commentary`, `width`, "
                       "`height`, `size`, `date`, `sec_id`, `dir`) VALUES (");
    for (int i = 0; i < 9; i++) {
        fit = TextAppend(statement, sizeof statement, i == 0 ? "'" : ",'") && fit;
        fit = AppendSqlText(statement, sizeof statement, values[i]) && fit;
        fit = TextAppend(statement, sizeof statement, "'") && fit;
    }
    return TextAppend(statement, sizeof statement, ");\n") && fit;
}

// Writes one statement into the open log and pushes it to the disk at once, so that a
// program that dies later in the batch keeps every row it had written.
static int WriteStatement(void)
{
    if (imageLog == INVALID_HANDLE_VALUE || !BuildStatement())
        return 0;
    DWORD length = (DWORD)strlen(statement);
    DWORD written = 0;
    if (!WriteFile(imageLog, statement, length, &written, NULL) || written != length)
        return 0;
    return FlushFileBuffers(imageLog) ? 1 : 0;
}

// Writes a number into a record field as plain decimal digits.
static void SetNumberField(char *field, unsigned long long value)
{
    field[0] = '\0';
    TextAppendUnsigned(field, FIELD_CAP, value);
}

// The six values known of the current image. The size takes both halves of the find
// record, so files of 2 GiB and more keep their true size; width and height are the
// photo's as it is seen, turned as its Exif orientation says.
static void FillRecordFromEntry(void)
{
    unsigned long long size = ((unsigned long long)WFD.nFileSizeHigh << 32) | WFD.nFileSizeLow;
    TextCopy(PhotoRecord.name, FIELD_CAP, WFD.cFileName);
    TextCopy(PhotoRecord.img_name, FIELD_CAP, WFD.cFileName);
    DWORD width = FreeImage_GetWidth(dib), height = FreeImage_GetHeight(dib);
    DisplayedSize(dib, &width, &height);
    SetNumberField(PhotoRecord.width, width);
    SetNumberField(PhotoRecord.height, height);
    SetNumberField(PhotoRecord.size, size);
    TextCopy(PhotoRecord.date, FIELD_CAP, dateStamp);
}

// Records the current image: fills PhotoRecord, lets the user edit it unless Default was
// chosen earlier in this job, writes its statement and shows the file's name.
int WriteImageRecord(void)
{
    FillRecordFromEntry();
    if (recordDefaultsSet == 0)
        DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_PHOTO_RECORD), mainWindow,
                        PhotoRecordProc, 0);
    WriteStatement();
    ShowStatus(WFD.cFileName);
    return 1;
}
