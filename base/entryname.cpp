#include "base.h"

#include <string.h>

// The directory search hands over names that Win32 would read as something other than
// the entry listed: under Wine a Unix name may hold a backslash, a drive prefix, a
// trailing dot or blank, or a device name, and a name the code page cannot hold arrives
// best-fitted or with '?'. Neither job acts on such a name: the thumbnail job does not
// read it, the name fix does not rename it.

// Device names that Win32 opens as devices, whatever extension follows.
static const char *const deviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};

// Whether the text equals the word in ASCII letters of either case.
static int EqualsIgnoringCase(const char *text, size_t length, const char *word)
{
    if (strlen(word) != length)
        return 0;
    for (size_t i = 0; i < length; i++) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 32);
        if (c != word[i])
            return 0;
    }
    return 1;
}

// Whether Win32 reads the name as a device: the part before the first dot, trailing
// blanks dropped, is CON, AUX, COM1 to COM9, LPT1 to LPT9 and the like.
static int IsDeviceName(const char *name)
{
    size_t length = strcspn(name, ".");
    while (length > 0 && name[length - 1] == ' ')
        length--;
    for (const char *device : deviceNames) {
        if (EqualsIgnoringCase(name, length, device))
            return 1;
    }
    if (length == 4 && name[3] >= '1' && name[3] <= '9')
        return EqualsIgnoringCase(name, 3, "COM") || EqualsIgnoringCase(name, 3, "LPT");
    return 0;
}

// "." or "..": a search lists the folder itself and its parent beside its entries.
int IsFolderItself(const char *name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Whether a name is one plain entry of the current directory for Win32: no path, drive or
// stream separator, no wildcard or control character, no trailing dot or blank (which
// Win32 drops), no device name, and neither "." nor "..".
int IsPlainEntryName(const char *name)
{
    size_t length = strlen(name);
    if (length == 0 || IsFolderItself(name))
        return 0;
    for (const char *c = name; *c != '\0'; c++) {
        if ((unsigned char)*c < 0x20 || strchr("\\/:*?\"<>|", *c) != NULL)
            return 0;
    }
    if (name[length - 1] == '.' || name[length - 1] == ' ')
        return 0;
    return !IsDeviceName(name);
}
