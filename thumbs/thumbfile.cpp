#include "thumbfile.h"
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

// How many temporary names one save tries before it gives up: a name taken by a file
// left from a job that was killed is skipped, never reused.
#define TEMP_TRIES 100

// The names of this program's temporary files: folder\~fotobatch-<process>-<try>.tmp.
static int BuildTempName(const char *folder, int attempt, char *name, size_t cap)
{
    int fit = TextCopy(name, cap, folder);
    fit = TextAppend(name, cap, "\\~fotobatch-") && fit;
    fit = TextAppendUnsigned(name, cap, GetCurrentProcessId()) && fit;
    fit = TextAppend(name, cap, "-") && fit;
    fit = TextAppendInt(name, cap, attempt) && fit;
    return TextAppend(name, cap, ".tmp") && fit;
}

// Whether an entry name is one this program's temporary files bear,
// ~fotobatch-<digits>-<digits>.tmp, and nothing else.
static int IsTempFileName(const char *name)
{
    static const char prefix[] = "~fotobatch-";
    if (strncmp(name, prefix, sizeof prefix - 1) != 0)
        return 0;
    const char *c = name + sizeof prefix - 1;
    for (int part = 0; part < 2; part++) {
        const char *digits = c;
        while (*c >= '0' && *c <= '9')
            c++;
        if (c == digits || *c != (part == 0 ? '-' : '.'))
            return 0;
        c++;
    }
    return strcmp(c, "tmp") == 0;
}

// A job that was killed leaves the file it was writing. No save of this job is under way
// when it is called, so every file of the pattern is a leftover, whichever process
// made it (a killed process's number is soon another's).
void RemoveStaleTempFiles(const char *folder)
{
    char mask[PATH_CAP];
    TextCopy(mask, sizeof mask, folder);
    if (!TextAppend(mask, sizeof mask, "\\~fotobatch-*.tmp"))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstEntry(mask, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        char name[PATH_CAP];
        TextCopy(name, sizeof name, folder);
        TextAppend(name, sizeof name, "\\");
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTempFileName(found.cFileName) &&
            TextAppend(name, sizeof name, found.cFileName))
            DeleteFileA(name);
    } while (FindNextEntry(search, &found));
    FindClose(search);
}

// CREATE_NEW never opens what is there already, a link included, so the file written is
// always one this job made. Sharing delete lets the open log be renamed into place.
HANDLE CreateTempFileIn(const char *folder, char *name, size_t cap)
{
    for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
        if (!BuildTempName(folder, attempt, name, cap))
            return INVALID_HANDLE_VALUE;
        HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

// A full disk shows as a failed or a short write, or only at the flush.
int WriteAllBytes(HANDLE file, const void *bytes, DWORD count)
{
    return WriteAll(file, bytes, count) && FlushFileBuffers(file);
}

#ifdef __WINE__
// Wine's MoveFileA follows a link at the target and is not one step, so the rename is
// made on the Unix names, where rename() replaces the name itself atomically.
int RenameOver(const char *from, const char *to)
{
    char unixFrom[MAX_PATH * 4];
    char unixTo[MAX_PATH * 4];
    if (!UnixFileName(from, unixFrom, sizeof unixFrom) || !UnixFileName(to, unixTo, sizeof unixTo))
        return 0;
    return rename(unixFrom, unixTo) == 0;
}

// Wine maps a device name (COM1.jpg), a trailing dot or a name holding a backslash to
// some other Unix name; only a name that stays directly in the folder is one of its
// entries.
int IsEntryOfFolder(const char *folder, const char *name)
{
    char unixFolder[MAX_PATH * 4];
    char unixName[MAX_PATH * 4];
    if (!UnixFileName(folder, unixFolder, sizeof unixFolder) || !UnixFileName(name, unixName, sizeof unixName))
        return 0;
    size_t length = strlen(unixFolder);
    if (strncmp(unixName, unixFolder, length) != 0 || unixName[length] != '/')
        return 0;
    const char *entry = unixName + length + 1;
    return entry[0] != '\0' && strchr(entry, '/') == NULL && strcmp(entry, ".") != 0 &&
           strcmp(entry, "..") != 0;
}

// lstat, since Wine's attributes do not tell a link to a directory from the directory.
int IsRealDirectory(const char *name)
{
    char unixName[MAX_PATH * 4];
    struct stat info;
    if (!UnixFileName(name, unixName, sizeof unixName) || lstat(unixName, &info) != 0)
        return 0;
    return S_ISDIR(info.st_mode);
}

// Wine does not pass a file's allocation on to the disk, so the room is reserved on the
// Unix name: fallocate with KEEP_SIZE takes the blocks without making them part of the
// file, so a job killed at any moment leaves no bytes that are not a whole statement.
int ReserveRoom(HANDLE file, const char *name, DWORD count)
{
    (void)file;
    char unixName[MAX_PATH * 4];
    if (!UnixFileName(name, unixName, sizeof unixName))
        return 1;
    int fd = open(unixName, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 1;
    struct stat info;
    int full = 0;
    if (fstat(fd, &info) == 0 && fallocate(fd, FALLOC_FL_KEEP_SIZE, info.st_size, count) != 0)
        full = errno == ENOSPC || errno == EDQUOT;
    close(fd);
    return !full;
}
#else
// MoveFileEx renames a link itself, not what it points to.
int RenameOver(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// A device name comes back from GetFullPathName as \\.\COM1, a parent folder as another
// folder: only a name directly under the folder's own full name is one of its entries.
int IsEntryOfFolder(const char *folder, const char *name)
{
    char fullFolder[MAX_PATH];
    char fullName[MAX_PATH];
    DWORD folderLength = GetFullPathNameA(folder, sizeof fullFolder, fullFolder, NULL);
    DWORD nameLength = GetFullPathNameA(name, sizeof fullName, fullName, NULL);
    if (folderLength == 0 || folderLength >= sizeof fullFolder || nameLength == 0 ||
        nameLength >= sizeof fullName)
        return 0;
    if (_strnicmp(fullName, fullFolder, folderLength) != 0 || fullName[folderLength] != '\\')
        return 0;
    const char *entry = fullName + folderLength + 1;
    return entry[0] != '\0' && strpbrk(entry, "\\/:") == NULL;
}

// A junction or a symbolic link to a directory carries the reparse-point attribute.
int IsRealDirectory(const char *name)
{
    DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The allocation is set past the end of the file, which leaves its length as it is.
int ReserveRoom(HANDLE file, const char *name, DWORD count)
{
    (void)name;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return 1;
    FILE_ALLOCATION_INFO room;
    room.AllocationSize.QuadPart = size.QuadPart + count;
    if (SetFileInformationByHandle(file, FileAllocationInfo, &room, sizeof room))
        return 1;
    return GetLastError() != ERROR_DISK_FULL;
}
#endif
