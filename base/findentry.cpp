#include "base.h"
#include "textbuf.h"

#include <string.h>

// The directory search of both jobs. The ANSI search gives a name that the code page
// cannot hold in its best-fitted form: Café.JPG lists as Cafe.JPG, which names another
// entry, or none. The search here takes the names as the system holds them and turns them
// into the code page without any best fit: a character it cannot hold becomes '?', which
// no entry name holds on Windows and which IsPlainEntryName refuses.

// The found entry, its names in the code page; every other field as the system gave it.
static void ToAnsiEntry(const WIN32_FIND_DATAW *wide, WIN32_FIND_DATAA *found)
{
    memset(found, 0, sizeof *found);
    found->dwFileAttributes = wide->dwFileAttributes;
    found->ftCreationTime = wide->ftCreationTime;
    found->ftLastAccessTime = wide->ftLastAccessTime;
    found->ftLastWriteTime = wide->ftLastWriteTime;
    found->nFileSizeHigh = wide->nFileSizeHigh;
    found->nFileSizeLow = wide->nFileSizeLow;
    found->dwReserved0 = wide->dwReserved0;
    found->dwReserved1 = wide->dwReserved1;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide->cFileName, -1, found->cFileName,
                             sizeof found->cFileName, "?", NULL))
        TextCopy(found->cFileName, sizeof found->cFileName, "?");
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide->cAlternateFileName, -1,
                             found->cAlternateFileName, sizeof found->cAlternateFileName, "?", NULL))
        found->cAlternateFileName[0] = '\0';
}

HANDLE FindFirstEntry(const char *mask, WIN32_FIND_DATAA *found)
{
    WCHAR wideMask[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, mask, -1, wideMask, MAX_PATH)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    WIN32_FIND_DATAW wide;
    HANDLE search = FindFirstFileW(wideMask, &wide);
    if (search != INVALID_HANDLE_VALUE)
        ToAnsiEntry(&wide, found);
    return search;
}

// How many entries the search with the mask lists now, the folder itself and its parent
// aside: the N of a job's "n of N".
int CountEntries(const char *mask)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstEntry(mask, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        count += !IsFolderItself(found.cFileName);
    } while (FindNextEntry(search, &found));
    FindClose(search);
    return count;
}

BOOL FindNextEntry(HANDLE search, WIN32_FIND_DATAA *found)
{
    WIN32_FIND_DATAW wide;
    if (!FindNextFileW(search, &wide))
        return FALSE;
    ToAnsiEntry(&wide, found);
    return TRUE;
}
