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

// The dialog procedure. Returning TRUE from the initialisation lets the system put the
// focus on Ok, so that Enter confirms the values as shown.
INT_PTR CALLBACK PhotoRecordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        ShowRecord(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnRecordCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}
