// The thumbnail batch: job dialog, loader and batch, description dialog, SQL image log.
#ifndef FOTOBATCH_THUMBS_H
#define FOTOBATCH_THUMBS_H

#include <windows.h>
#include "../base/imagelib.h"

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
