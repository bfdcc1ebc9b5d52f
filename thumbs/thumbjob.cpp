#include "thumbs.h"
#include "../base/base.h"
#include "../base/state.h"
#include "../chooser/chooser.h"
#include "../res/resource.h"
#include "thumbformat.h"

#include <limits.h>

// The thumbnail job dialog. "Run!" leaves thumbSize, findMask, workDir and thumbSuffix as
// the fields give them and runs the batch; "Open" leaves the chosen directory in workDir
// and rebuilds thumbDirPath and outDirPath from it; CANCEL, Esc and the close box drop
// whatever was typed.

// Converts a size text as atoi does (leading blanks, a sign, digits up to the first
// non-digit; no digits give 0), but saturating: a number beyond an int stays beyond the
// accepted sizes instead of wrapping round into them.
static int SizeFromText(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        text++;
    int negative = *text == '-';
    if (*text == '-' || *text == '+')
        text++;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        if (value <= INT_MAX)
            value = value * 10 + (*text - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int)value;
}

// Fills the fields from the shared state; the size field always starts at the default
// size, whatever the last job used.
static void FillFields(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_SIZE_FIELD, NUMBER_TEXT(THUMB_SIZE_DEFAULT));
    SetDlgItemTextA(dialog, IDC_MASK_FIELD, findMask);
    SetDlgItemTextA(dialog, IDC_JOB_DIR, workDir);
    SetDlgItemTextA(dialog, IDC_THUMB_DIR, thumbDirPath);
    SetDlgItemTextA(dialog, IDC_OUT_DIR, outDirPath);
    SetDlgItemTextA(dialog, IDC_SUFFIX_FIELD, thumbSuffix);
}

// "Run!": a size from 10 to 65536, with a directory short enough for the job's files and
// a mask and a suffix that keep the job inside its folders and name a format it can
// write, takes the fields over, ends the dialog and runs the batch to its end; anything
// else is refused with the dialog left as the user had it, and nothing of a refused Run!
// but its size is taken over.
static INT_PTR OnRun(HWND dialog)
{
    char sizeText[PATH_CAP];
    GetDlgItemTextA(dialog, IDC_SIZE_FIELD, sizeText, sizeof sizeText);
    thumbSize = SizeFromText(sizeText);
    if (thumbSize < THUMB_SIZE_MIN || thumbSize > THUMB_SIZE_MAX) {
        MessageBoxA(dialog, "Error!\nNew images size:" NUMBER_TEXT(THUMB_SIZE_MIN) "-" NUMBER_TEXT(THUMB_SIZE_MAX),
                    "Error", MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    char dirText[PATH_CAP];
    char maskText[PATH_CAP];
    char suffixText[PATH_CAP];
    GetDlgItemTextA(dialog, IDC_JOB_DIR, dirText, sizeof dirText);
    GetDlgItemTextA(dialog, IDC_MASK_FIELD, maskText, sizeof maskText);
    GetDlgItemTextA(dialog, IDC_SUFFIX_FIELD, suffixText, sizeof suffixText);
    if (!ThumbSettingsAccepted(dialog, dirText, maskText, suffixText, thumbSize))
        return FALSE;
    TextCopy(findMask, sizeof findMask, maskText);
    TextCopy(workDir, sizeof workDir, dirText);
    TextCopy(thumbSuffix, sizeof thumbSuffix, suffixText);
    EndDialog(dialog, IDC_RUN);
    RunJob(MakeThumbnails);
    return TRUE;
}

// "Open": the chooser, then the directory field and both derived paths from workDir,
// whether the chooser was left with Open or not.
static void OnOpen(HWND dialog)
{
    RunDirChooser(dialog);
    SetDlgItemTextA(dialog, IDC_JOB_DIR, workDir);
    BuildThumbDirPath();
    BuildWorkDirPath(outDirPath, sizeof outDirPath, OUT_DIR_SUFFIX);
    SetDlgItemTextA(dialog, IDC_THUMB_DIR, thumbDirPath);
    SetDlgItemTextA(dialog, IDC_OUT_DIR, outDirPath);
}

// Handles the buttons; Enter is "Run!", the default button.
static INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_RUN:
        return OnRun(dialog);
    case IDC_JOB_OPEN:
        OnOpen(dialog);
        return TRUE;
    case IDC_CANCEL_BUTTON:
    case IDCANCEL:
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// The thumbnail job dialog: settings of the batch, and "Run!" to start it.
INT_PTR CALLBACK ThumbJobProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        FillFields(dialog);
        ShowStatus("Установки обработки");
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    }
    return FALSE;
}
