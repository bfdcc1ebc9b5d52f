#include "chooser.h"
#include "../base/base.h"
#include "../base/state.h"
#include "../res/resource.h"

#include <string.h>

// The chooser keeps no state of its own: where it stands is the process's current
// directory and the list text browseSpec, which every listing rewrites. On
// "Open" it leaves the listed directory in workDir; CANCEL, Esc and the close box leave
// workDir alone while the current directory stays where the user browsed.

static const UINT listFlags = DDL_DRIVES | DDL_DIRECTORY;

// Where the pattern starts in a list text such as "C:\*.*" or "\*.*" whose directory
// is a root, or NULL for any other. Wine's listing cuts the backslash of such a root and
// then lists the drive's current directory instead of its root (or nothing at all).
static const char *RootPattern(const char *listText)
{
    const char *pattern = listText;
    if (((listText[0] >= 'A' && listText[0] <= 'Z') || (listText[0] >= 'a' && listText[0] <= 'z')) &&
        listText[1] == ':')
        pattern += 2;
    if (*pattern != '\\')
        return NULL;
    pattern++;
    if (strpbrk(pattern, "\\/") != NULL || strpbrk(pattern, "*?") == NULL)
        return NULL;
    return pattern;
}

// The system's listing of the list text, with the list box's drawing held off meanwhile:
// a sorted list box that redraws and rescrolls after every insertion took minutes for a
// folder of 20,000 files. The entries, their order and the path field are the listing's.
static int ListQuietly(HWND dialog, char *listText)
{
    HWND list = GetDlgItem(dialog, IDC_DIR_LIST);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    int listed = DlgDirListA(dialog, listText, IDC_DIR_LIST, IDC_DIR_PATH, listFlags);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    return listed;
}

// One listing of browseSpec into the list and the path field; 0 when it was refused.
static int ListDirectory(HWND dialog)
{
    const char *pattern = RootPattern(browseSpec);
    if (pattern != NULL && GetFileAttributesA(browseSpec) == INVALID_FILE_ATTRIBUTES) {
        char root[4];
        TextCopyPrefix(root, sizeof root, browseSpec, (size_t)(pattern - browseSpec));
        if (!SetCurrentDirectoryA(root))
            return 0;
        memmove(browseSpec, pattern, strlen(pattern) + 1);
    }
    return ListQuietly(dialog, browseSpec);
}

// Whether the current directory can be named in a path of PATH_CAP. Wine lets a listing
// move into a directory whose path is longer, and then has no path to show for it.
static int CurrentDirectoryFits(char *path, size_t cap)
{
    DWORD length = GetCurrentDirectoryA((DWORD)cap, path);
    return length > 0 && length < cap;
}

int TakeCurrentDirectory(void)
{
    char current[PATH_CAP];
    return CurrentDirectoryFits(current, sizeof current) && TextCopy(workDir, sizeof workDir, current);
}

// Lists browseSpec. A list text that the listing refuses, such as the bare file name
// that a double-click on a file leaves behind, would otherwise leave this and every later
// opening with an empty list and an empty path; "*.*" lists the current directory instead.
// A listing that went into a directory too deep for a path of 259 characters goes back,
// since "Open" could store no name for it.
static void ListBrowseSpec(HWND dialog)
{
    char before[PATH_CAP];
    int known = CurrentDirectoryFits(before, sizeof before);
    if (ListDirectory(dialog)) {
        char now[PATH_CAP];
        if (CurrentDirectoryFits(now, sizeof now) || !known)
            return;
        SetCurrentDirectoryA(before);
        MessageBoxA(dialog, "Путь длиннее 259 символов, эту папку выбрать нельзя", "Error",
                    MB_OK | MB_ICONINFORMATION);
    }
    TextCopy(browseSpec, sizeof browseSpec, "*.*");
    ListDirectory(dialog);
}

// A double-click moves into a drive or subdirectory; on a file it only names the file.
static void OnListDoubleClick(HWND dialog)
{
    // a notification without a selection would show the pattern as if it were a file
    if (SendDlgItemMessageA(dialog, IDC_DIR_LIST, LB_GETCURSEL, 0, 0) == LB_ERR)
        return;
    if (DlgDirSelectExA(dialog, browseSpec, sizeof browseSpec, IDC_DIR_LIST)) {
        TextAppend(browseSpec, sizeof browseSpec, "*.*");
        ListBrowseSpec(dialog);
        return;
    }
    MessageBoxA(dialog, browseSpec, "File Selected", MB_OK | MB_ICONINFORMATION);
}

// "Open" takes the listed directory, not the selected entry. The path field shows it in
// small letters, which on a case-sensitive disk can name a different directory (Photos
// beside photos), so workDir is taken from the current directory the listing moved to,
// letter case included. An empty path field (nothing could be listed) names no
// directory, so it keeps the dialog open and workDir as it was.
static void OnOpen(HWND dialog)
{
    if (GetWindowTextLengthA(GetDlgItem(dialog, IDC_DIR_PATH)) <= 0 || !TakeCurrentDirectory())
        return;
    EndDialog(dialog, IDC_DIR_OPEN);
}

// Handles the buttons and the list's double-click.
static INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_DIR_LIST:
        if (HIWORD(wParam) == LBN_DBLCLK)
            OnListDoubleClick(dialog);
        return FALSE;
    case IDC_DIR_OPEN:
        OnOpen(dialog);
        return TRUE;
    case IDC_CANCEL_BUTTON:
    case IDCANCEL:
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// The directory chooser dialog: browses drives and directories, "Open" sets workDir.
INT_PTR CALLBACK DirChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        ListBrowseSpec(dialog);
        ShowStatus("Выбор Папки");
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    }
    return FALSE;
}

// Runs the chooser modally. Its owner is whoever opens it, so a job dialog that opens it
// is disabled meanwhile and its Run! or FIX cannot start a job while the chooser can still
// move the current directory.
void RunDirChooser(HWND owner)
{
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_DIR_CHOOSER), owner, DirChooserProc, 0);
}

// Joins workDir and a folder suffix into a shown path. These paths are only ever shown
// (and named in a message), so a workDir too long for the join is cut and the cut marked
// with "..." rather than refused: the directory itself stays usable for both jobs.
int BuildWorkDirPath(char *path, size_t cap, const char *suffix)
{
    TextCopy(path, cap, workDir);
    if (TextAppend(path, cap, suffix))
        return 1;
    size_t length = strlen(path);
    if (length >= 3)
        memcpy(path + length - 3, "...", 3);
    return 0;
}

// thumbDirPath, the shown path of the thumbnails folder, rebuilt from workDir.
void BuildThumbDirPath(void)
{
    BuildWorkDirPath(thumbDirPath, sizeof thumbDirPath, THUMB_DIR_SUFFIX);
}

// The main window's "&Select Directory": the chooser, then thumbDirPath rebuilt from
// workDir however the chooser ended.
void SelectDirectoryCommand(HWND owner)
{
    RunDirChooser(owner);
    BuildThumbDirPath();
}
