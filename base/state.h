// The program-wide shared state: every setting, path and handle that passes between the
// main window, the dialogs and the two jobs. One thread uses all of it; nothing is locked.
#ifndef FOTOBATCH_STATE_H
#define FOTOBATCH_STATE_H

#include <windows.h>
#include "imagelib.h"
#include "textbuf.h"

#define PATH_CAP 260    // every path, mask and name: 259 characters and the terminator
#define FIELD_CAP 1000  // one value of a photo record: 999 characters and the terminator
#define TITLE_CAP 100   // the window title and class name

// The thumbnail sizes a job accepts, the size every job dialog starts with, the folder
// under the working directory that the thumbnails go into, and what follows workDir in
// the two shown folder paths.
#define THUMB_SIZE_MIN 10
#define THUMB_SIZE_MAX 65536
#define THUMB_SIZE_DEFAULT 150
#define THUMB_FOLDER "thumbnails"
#define THUMB_DIR_SUFFIX "\\" THUMB_FOLDER "\\"
#define OUT_DIR_SUFFIX "\\out_images\\"

// Settings and paths.
extern int thumbSize;
extern char browseSpec[PATH_CAP];
extern char workDir[PATH_CAP];
extern char thumbDirPath[PATH_CAP];
extern char outDirPath[PATH_CAP];
extern char findMask[PATH_CAP];
extern char thumbSuffix[PATH_CAP];

// The record of one image: the nine columns of a photo_img row, in column order.
struct PhotoRecordFields {
    char name[FIELD_CAP];
    char img_name[FIELD_CAP];
    char commentary[FIELD_CAP];
    char width[FIELD_CAP];
    char height[FIELD_CAP];
    char size[FIELD_CAP];
    char date[FIELD_CAP];
    char sec_id[FIELD_CAP];
    char dir[FIELD_CAP];
};
extern char dateStamp[PATH_CAP];
extern PhotoRecordFields PhotoRecord;
extern int recordDefaultsSet;

// The handle of a running batch.
extern HANDLE imageLog;  // INVALID_HANDLE_VALUE while no batch runs

// The window.
extern HWND mainWindow;
extern HINSTANCE appInstance;

void FormatDateStamp(const SYSTEMTIME *moment, char *text, size_t cap);
void SetStartUpState(void);

#endif
