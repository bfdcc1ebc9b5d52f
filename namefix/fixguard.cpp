#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"

#include <shlobj.h>
#include <string.h>

// The folders a walk never renames in: a drive's root and the system's own folders, as
// the system names them, where renamed entries break Windows, the installed programs or
// the users' profiles. The working directory starts as C:\, one keystroke away from FIX.

struct SystemFolder {
    int csidl;
    const char *what;
};
static const SystemFolder systemFolders[] = {
    {CSIDL_SYSTEM, "системная папка Windows"},
    {CSIDL_SYSTEMX86, "системная папка Windows"},
    {CSIDL_PROGRAM_FILES, "папка программ"},
    {CSIDL_PROGRAM_FILESX86, "папка программ"},
    {CSIDL_PROGRAM_FILES_COMMON, "папка общих файлов программ"},
    {CSIDL_PROGRAM_FILES_COMMONX86, "папка общих файлов программ"},
    {CSIDL_COMMON_APPDATA, "общая папка данных программ"},
    {CSIDL_APPDATA, "папка данных программ пользователя"},
    {CSIDL_LOCAL_APPDATA, "папка данных программ пользователя"},
    {CSIDL_PROFILE, "папка профиля пользователя"},
};

// The path of a folder the system knows by its CSIDL; 0 when it has none. The shell's
// library is loaded on the first call, by FIX alone: it and what it pulls in would add
// some megabytes to every run of the program.
int SystemFolderPath(int csidl, char *path)
{
    typedef HRESULT(WINAPI * FolderPathFunction)(HWND, int, HANDLE, DWORD, LPSTR);
    static FolderPathFunction folderPath;
    if (folderPath == NULL) {
        HMODULE shell = LoadLibraryA("shell32.dll");
        folderPath = shell != NULL ? (FolderPathFunction)(void *)GetProcAddress(shell, "SHGetFolderPathA") : NULL;
    }
    return folderPath != NULL && folderPath(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path) == S_OK;
}

// A folder's full, long name without a trailing backslash (a root keeps its own), in
// capitals, as Windows compares names; 0 when it has none.
static int ComparableFolder(const char *folder, char *name, size_t cap)
{
    char full[PATH_CAP];
    DWORD length = GetFullPathNameA(folder, sizeof full, full, NULL);
    if (length == 0 || length >= sizeof full)
        return 0;
    length = GetLongPathNameA(full, name, (DWORD)cap);
    if ((length == 0 || length >= cap) && !TextCopy(name, cap, full))
        return 0;
    length = (DWORD)strlen(name);
    while (length > 3 && name[length - 1] == '\\')
        name[--length] = '\0';
    CharUpperBuffA(name, length);
    return 1;
}

// Whether the comparable folder is a drive's root: C:\ or \\server\share.
static int IsDriveRoot(const char *folder)
{
    if (folder[0] != '\0' && folder[1] == ':')
        return folder[2] == '\0' || (folder[2] == '\\' && folder[3] == '\0');
    if (strncmp(folder, "\\\\", 2) != 0)
        return 0;
    const char *share = strchr(folder + 2, '\\');
    return share == NULL || strchr(share + 1, '\\') == NULL;
}

// Whether the comparable folder is the one the system names so.
static int IsFolder(const char *folder, const char *systemFolder)
{
    char name[PATH_CAP];
    return systemFolder[0] != '\0' && ComparableFolder(systemFolder, name, sizeof name) &&
           strcmp(folder, name) == 0;
}

// The users' folder, holding every user's profile: the parent of this user's.
static int IsUsersFolderOrProfile(const char *folder)
{
    char profile[PATH_CAP];
    char users[PATH_CAP];
    if (!SystemFolderPath(CSIDL_PROFILE, profile) ||
        !ComparableFolder(profile, users, sizeof users))
        return 0;
    char *cut = strrchr(users, '\\');
    if (cut == NULL || cut - users < 3)
        return 0;
    *cut = '\0';
    size_t length = strlen(users);
    if (strcmp(folder, users) == 0)
        return 1;
    // a user's profile: a folder right inside the users' folder
    return strncmp(folder, users, length) == 0 && folder[length] == '\\' &&
           strchr(folder + length + 1, '\\') == NULL;
}

// What the folder is to the system, when it is one a walk must not touch; NULL otherwise.
static const char *SystemFolderKind(const char *folder)
{
    char path[PATH_CAP];
    if (IsDriveRoot(folder))
        return "корень диска";
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length > 0 && length < sizeof path && IsFolder(folder, path))
        return "папка Windows";
    for (const SystemFolder &system : systemFolders) {
        if (SystemFolderPath(system.csidl, path) && IsFolder(folder, path))
            return system.what;
    }
    if (IsUsersFolderOrProfile(folder))
        return "папка пользователей или профиль пользователя";
    return NULL;
}

// Refuses a walk over the current directory when it is a drive's root or a system
// folder: a box names it and says why. 1 when refused.
int RefuseSystemFolder(void)
{
    char current[PATH_CAP];
    char folder[PATH_CAP];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current || !ComparableFolder(current, folder, sizeof folder))
        return 0;
    const char *kind = SystemFolderKind(folder);
    if (kind == NULL)
        return 0;
    char text[200];
    TextCopy(text, sizeof text, "FIX не переименовывает в этой папке (");
    TextAppend(text, sizeof text, kind);
    TextAppend(text, sizeof text, "), ничего не переименовано:\n");
    ShowNamedError(NULL, text, current, MB_ICONINFORMATION);
    return 1;
}
