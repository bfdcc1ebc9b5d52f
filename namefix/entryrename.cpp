#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"

#include <string.h>
#ifdef __WINE__
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#endif

// Renaming one entry of the working directory, and nothing else. An entry whose listed
// name is not a plain entry name (IsPlainEntryName) is left alone, as one whose rename
// fails is.

#ifdef __WINE__
// The working directory, opened once per walk: every rename is made on the Unix names
// inside it, so that no name can reach outside it.
static int renameFolder = -1;

// Opens the current directory for the renames of one walk; 0 if it cannot be opened.
int OpenRenameFolder(void)
{
    char path[PATH_CAP * 4];
    CloseRenameFolder();
    if (!UnixFileName(".", path, sizeof path))
        return 0;
    renameFolder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return renameFolder >= 0;
}

// Closes what OpenRenameFolder opened.
void CloseRenameFolder(void)
{
    if (renameFolder >= 0)
        close(renameFolder);
    renameFolder = -1;
}

// A listed name in the disk's own encoding. A name the search lists is Windows-1251
// text, and the disk's name is UTF-8; on a byte-exact disk the converted name is the one
// entry that lists so, or none (a best-fitted name names no entry, or its real namesake).
static int DiskName(const char *name, char *diskName, size_t cap)
{
    WCHAR wideName[PATH_CAP];
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wideName, PATH_CAP) > 0 &&
           WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wideName, -1, diskName, (int)cap, NULL,
                               NULL) > 0;
}

// Renames an entry of the working directory; nonzero on success. The Unix rename takes
// the entry itself (a link, not what it points to), changes letter case alone where Win32
// would see no change, and never replaces an entry that bears the new name, however
// late that entry appeared.
int RenameEntry(const char *oldName, const char *newName)
{
    char oldDiskName[PATH_CAP * 3];
    char newDiskName[PATH_CAP * 3];
    if (!IsPlainEntryName(oldName) || !IsPlainEntryName(newName) ||
        !DiskName(oldName, oldDiskName, sizeof oldDiskName) ||
        !DiskName(newName, newDiskName, sizeof newDiskName))
        return 0;
    return renameat2(renameFolder, oldDiskName, renameFolder, newDiskName, RENAME_NOREPLACE) == 0;
}
#else
// Windows names the entries itself; nothing to open.
int OpenRenameFolder(void)
{
    return 1;
}

void CloseRenameFolder(void)
{
}

// Renames an entry of the current directory; nonzero on success. MoveFileA renames a
// link itself and never replaces an existing entry.
int RenameEntry(const char *oldName, const char *newName)
{
    if (!IsPlainEntryName(oldName) || !IsPlainEntryName(newName))
        return 0;
    return MoveFileA(oldName, newName);
}
#endif
