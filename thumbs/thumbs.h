// The thumbnail batch: job dialog, loader and batch, description dialog, SQL image log.
#ifndef FOTOBATCH_THUMBS_H
#define FOTOBATCH_THUMBS_H

#include <windows.h>
#include "../base/imagelib.h"
#include "../base/state.h"

// One column of a photo_img row: its name, its value in PhotoRecord, and the edit of the
// description dialog that shows it.
struct RecordColumn {
    const char *name;
    char *value;
    int editId;
};
#define RECORD_COLUMNS 9
extern const RecordColumn recordColumns[RECORD_COLUMNS];

// One image of the batch on its way to its thumbnail and its row. The batch holds it on
// its stack and hands it to the steps that name, describe, save and record it.
struct BatchImage {
    WIN32_FIND_DATAA entry;    // the entry as listed: its name goes into the row
    unsigned long long fileSize;  // the file's size in bytes when it was decoded
    DWORD width, height;       // the source's size as displayed (turned as its Exif says)
    FIBITMAP *thumbnail;       // the batch's own until the entry is done
    char baseName[PATH_CAP];   // the name cut before its last '.', then the suffix
    char thumbPath[PATH_CAP];  // "thumbnails\" + baseName, relative to workDir
};

INT_PTR CALLBACK ThumbJobProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int MakeThumbnails(void);
int OpenImageLog(void);
void CloseImageLog(void);
void DescribeImage(const BatchImage *image);
int WriteImageStatement(const BatchImage *image);
INT_PTR CALLBACK PhotoRecordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ImageLibraryMessage(FREE_IMAGE_FORMAT format, const char *message);

#endif
