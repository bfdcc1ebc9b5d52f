#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"

#include <string.h>
#ifdef __WINE__
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
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

// Where the disk refuses RENAME_NOREPLACE (exFAT through FUSE, CIFS shares answer EINVAL),
// the new name is claimed first with a create that fails on any entry of that name (an
// empty file, or an empty directory for a directory, which a plain rename may replace),
// and the entry renamed over its own claim. The claim is removed when that rename fails.
static int RenameOverClaim(const char *oldDiskName, const char *newDiskName)
{
    struct stat info;
    if (fstatat(renameFolder, oldDiskName, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    int isFolder = S_ISDIR(info.st_mode);
    if (isFolder) {
        if (mkdirat(renameFolder, newDiskName, 0700) != 0)
            return 0;
    } else {
        int claim = openat(renameFolder, newDiskName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (claim < 0)
            return 0;
        close(claim);
    }
    if (renameat(renameFolder, oldDiskName, renameFolder, newDiskName) == 0)
        return 1;
    unlinkat(renameFolder, newDiskName, isFolder ? AT_REMOVEDIR : 0);
    return 0;
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
    if (renameat2(renameFolder, oldDiskName, renameFolder, newDiskName, RENAME_NOREPLACE) == 0)
        return 1;
    return errno == EINVAL && RenameOverClaim(oldDiskName, newDiskName);
}

// Whether the working directory holds an entry of that name, a link not followed.
int EntryExists(const char *name)
{
    char diskName[PATH_CAP * 3];
    struct stat info;
    return IsPlainEntryName(name) && DiskName(name, diskName, sizeof diskName) &&
           fstatat(renameFolder, diskName, &info, AT_SYMLINK_NOFOLLOW) == 0;
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

// Whether the current directory holds an entry of that name.
int EntryExists(const char *name)
{
    return IsPlainEntryName(name) && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}
#endif
