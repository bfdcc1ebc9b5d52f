// Resource ids, shared by the resource script, the code and the tests.
#ifndef FOTOBATCH_RESOURCE_H
#define FOTOBATCH_RESOURCE_H

// Strings
#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109

// Icons
#define IDI_FOTOBATCH 107
#define IDI_SMALL 108

// Menu and accelerators
#define IDM_MAINMENU 109
#define IDA_MAINACCEL 109

// Commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SELECT_DIR 32771
#define IDM_THUMBNAILS 32772
#define IDM_NAME_FIX 32773
#define IDM_UNDO_FIX 32774

// Dialog templates
#define IDD_ABOUT 103
#define IDD_DIR_CHOOSER 107
#define IDD_THUMB_JOB 129
#define IDD_PHOTO_RECORD 131
#define IDD_NAME_FIX 132

// About box
#define IDC_ABOUT_ICON 2

// Directory chooser
#define IDC_DIR_LIST 1000
#define IDC_DIR_OPEN 32771
#define IDC_CANCEL_BUTTON 1004
#define IDC_DIR_PATH 1009

// Thumbnail job dialog
#define IDC_RUN 1010
#define IDC_SIZE_FIELD 1012
#define IDC_MASK_FIELD 1013
#define IDC_JOB_DIR 1009
#define IDC_JOB_OPEN 1014
#define IDC_THUMB_DIR 1015
#define IDC_THUMB_DIR_OPEN 1016
#define IDC_OUT_DIR 1017
#define IDC_OUT_DIR_OPEN 1018
#define IDC_SUFFIX_FIELD 1022

// Photo description dialog
#define IDC_REC_NAME 1012
#define IDC_REC_IMG_NAME 1013
#define IDC_REC_COMMENTARY 1009
#define IDC_REC_WIDTH 1015
#define IDC_REC_HEIGHT 1017
#define IDC_REC_SIZE 1016
#define IDC_REC_DATE 1022
#define IDC_REC_SEC_ID 1018
#define IDC_REC_DIR 1019
#define IDC_REC_DEFAULT 1014

// The description dialog's preview of the thumbnail, and its size and "n of N" under it
#define IDC_REC_PREVIEW 1030
#define IDC_REC_PREVIEW_INFO 1031

// Progress window of a running job
#define IDC_PROGRESS_COUNT 1040
#define IDC_PROGRESS_BAR 1041
#define IDC_PROGRESS_NAME 1042
#define IDC_PROGRESS_LEFT 1043

// Name-fix dialog
#define IDC_FIX_DIR 1009
#define IDC_FIX_OPEN 1014

#endif
