#include "base.h"
#include "state.h"

#ifdef __WINE__
// The Unix path of a name relative to the current directory, as Wine maps it; for the
// native libraries and system calls that know neither drive letters nor the Win32 current
// directory. 0 when there is none or it does not fit.
int UnixFileName(const char *name, char *path, size_t cap)
{
    char fullName[MAX_PATH * 4];
    WCHAR wideName[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(name, sizeof fullName, fullName, NULL);
    if (length == 0 || length >= sizeof fullName ||
        MultiByteToWideChar(CP_ACP, 0, fullName, -1, wideName, MAX_PATH * 4) == 0)
        return 0;
    char *unixName = wine_get_unix_file_name(wideName);
    if (unixName == NULL)
        return 0;
    int fit = TextCopy(path, cap, unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    return fit;
}
#endif
