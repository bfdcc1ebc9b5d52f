// The thumbnail batch: job dialog, loader and batch, description dialog, SQL image log.
#ifndef FOTOBATCH_THUMBS_H
#define FOTOBATCH_THUMBS_H

#include <windows.h>
#include "../base/imagelib.h"

// One column of a photo_img row: its name, its value in PhotoRecord, and the edit of the
// description dialog that shows it.
struct RecordColumn {
    const char *name;
    char *value;
    int editId;
};
#define RECORD_COLUMNS 9
extern const RecordColumn recordColumns[RECORD_COLUMNS];

INT_PTR CALLBACK ThumbJobProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int MakeThumbnails(void);
int SaveThumbnail(void);
int OpenImageLog(void);
void CloseImageLog(void);
void DescribeImage(void);
int WriteImageStatement(void);
int WriteImageRecord(void);
INT_PTR CALLBACK PhotoRecordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ImageLibraryMessage(FREE_IMAGE_FORMAT format, const char *message);

#endif
