#include "thumbs.h"
#include "../base/state.h"
#include "../res/resource.h"

// The photo description dialog. It leaves behind the nine values of PhotoRecord as the
// user confirmed them (Ok, Default) or untouched (Esc), and recordDefaultsSet = 1 after
// Default, which spares the user the dialog for the rest of the job.

// Puts the nine values into their edits.
static void ShowRecord(HWND dialog)
{
    for (const RecordColumn &column : recordColumns)
        SetDlgItemTextA(dialog, column.editId, column.value);
}

// Reads the nine edits back; a longer text keeps its first 999 characters.
static void ReadRecord(HWND dialog)
{
    for (const RecordColumn &column : recordColumns)
        GetDlgItemTextA(dialog, column.editId, column.value, FIELD_CAP);
}

// Dispatches the dialog's buttons; Esc ends it without reading anything back.
static INT_PTR OnRecordCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        ReadRecord(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDC_REC_DEFAULT:
        ReadRecord(dialog);
        EndDialog(dialog, IDC_REC_DEFAULT);
        recordDefaultsSet = 1;
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// Makes the picture of the image's thumbnail (the bitmap the job will save) for the room
// of the preview control, kept with the dialog until it ends, and writes its size and
// "n of N" under it.
static void ShowPreview(HWND dialog, const BatchImage *image)
{
    if (image == NULL)
        return;
    RECT room;
    GetClientRect(GetDlgItem(dialog, IDC_REC_PREVIEW), &room);
    HBITMAP picture = MakePreviewBitmap(image->thumbnail, room.right, room.bottom, GetSysColor(COLOR_BTNFACE));
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)picture);
    char info[128];
    FormatPreviewInfo(info, sizeof info, image->thumbnail, image->index, image->total);
    SetDlgItemTextA(dialog, IDC_REC_PREVIEW_INFO, info);
}

// The dialog procedure; lParam is the BatchImage described. Returning TRUE from the
// initialisation lets the system put the focus on Ok, so that Enter confirms the values
// as shown.
INT_PTR CALLBACK PhotoRecordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowRecord(dialog);
        ShowPreview(dialog, (const BatchImage *)lParam);
        return TRUE;
    case WM_COMMAND:
        return OnRecordCommand(dialog, LOWORD(wParam));
    case WM_DRAWITEM:
        if (wParam != IDC_REC_PREVIEW)
            return FALSE;
        DrawPreview((const DRAWITEMSTRUCT *)lParam, (HBITMAP)GetWindowLongPtrA(dialog, DWLP_USER));
        return TRUE;
    case WM_DESTROY:
        if (GetWindowLongPtrA(dialog, DWLP_USER) != 0)
            DeleteObject((HBITMAP)GetWindowLongPtrA(dialog, DWLP_USER));
        return FALSE;
    }
    return FALSE;
}
