// The thumbnail batch: job dialog, loader and batch, description dialog, SQL image log.
#ifndef FOTOBATCH_THUMBS_H
#define FOTOBATCH_THUMBS_H

#include <windows.h>
#include "../app/imagelib.h"

INT_PTR CALLBACK ThumbJobProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
FIBITMAP *GenericLoader(const char *fileName, int flags);
int ImageLibraryPath(const char *fileName, char *path, size_t cap);
FREE_IMAGE_FORMAT ImageFileFormat(const char *path);
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
