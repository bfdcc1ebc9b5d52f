#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"
#include "../chooser/chooser.h"
#include "../res/resource.h"

// The name-fix dialog. It only shows workDir (what is typed into its edit box is never
// read); "Open" changes workDir through the chooser, FIX runs the rename walk on it.

// "Open": the chooser, then workDir shown again, also after the chooser's CANCEL; the
// thumbnails path follows it, as after "&Select Directory".
static void OnOpen(HWND dialog)
{
    RunDirChooser(dialog);
    BuildThumbDirPath();
    SetDlgItemTextA(dialog, IDC_FIX_DIR, workDir);
}

// Handles the buttons; Enter is FIX, the default button, which has the focus at first.
static INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
        EndDialog(dialog, IDOK);
        RunJob(FixFileNames);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_FIX_OPEN:
        OnOpen(dialog);
        return TRUE;
    }
    return FALSE;
}

// The name-fix dialog: the directory to fix, and FIX to rename its entries.
INT_PTR CALLBACK NameFixProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_FIX_DIR, workDir);
        ShowStatus("Фиксим Файлы");
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    }
    return FALSE;
}
