#include "namefix.h"
#include "../app/app.h"
#include "../app/state.h"

#include <string.h>
#ifdef __WINE__
#include <fcntl.h>
#include <stdio.h>
#endif

// The transliteration table: byte k of translitSource becomes byte k of translitTarget.
// No source byte occurs twice and no target is a source, so every byte of a name is
// replaced at most once and a fixed name is its own fixed name.
const char translitSource[77] =
    "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁЄЇўабвгдежзийклмнопрстуфхцчшщъыьэюяёєїЎ ()-";
const char translitTarget[77] =
    "abvgdejziyklmnoprstufhccss___eujeeiyabvgdejziyklmnoprstufhccss___eujeeiy____";

// Runs on across every walk of the run; only a collision advances it.
int renameCounter = 0;

static char fixedName[PATH_CAP];
static char counterText[PATH_CAP];

// Replaces every byte of the name that stands in the table by its Latin target.
static void TransliterateName(char *name)
{
    const int tableSize = (int)sizeof translitSource - 1;
    for (int position = (int)strlen(name) - 1; position >= 0; position--) {
        for (int entry = tableSize - 1; entry >= 0; entry--) {
            if (name[position] == translitSource[entry]) {
                name[position] = translitTarget[entry];
                break;
            }
        }
    }
}

// Plain ASCII lower-casing: only A to Z, whatever the locale.
static void LowerCaseAscii(char *name)
{
    for (; *name != '\0'; name++) {
        if (*name >= 'A' && *name <= 'Z')
            *name = (char)(*name + 32);
    }
}

// The fixed form of a name: transliterated, then lower-cased. 0 if it does not fit.
int MakeFixedName(const char *name, char *fixed, size_t cap)
{
    if (!TextCopy(fixed, cap, name))
        return 0;
    TransliterateName(fixed);
    LowerCaseAscii(fixed);
    return 1;
}

static int DiffersOnlyInCase(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++) {
        char lowerA = (*a >= 'A' && *a <= 'Z') ? (char)(*a + 32) : *a;
        char lowerB = (*b >= 'A' && *b <= 'Z') ? (char)(*b + 32) : *b;
        if (lowerA != lowerB)
            return 0;
    }
    return *a == *b;
}

#ifdef __WINE__
// Under Wine a disk is case-sensitive while Win32 names are not: MoveFileA to a name that
// differs only in letter case reports success and changes nothing, and a temporary-name
// detour can resolve the way back to another entry that differs in case alone. So such a
// rename is made on the Unix names themselves, and never replaces an existing entry.
static int RenameCaseOnly(const char *oldName, const char *newName)
{
    char oldPath[PATH_CAP * 4];
    char newPath[PATH_CAP * 4];
    WCHAR wideName[PATH_CAP];
    char utf8Name[PATH_CAP * 3];
    if (!UnixFileName(oldName, oldPath, sizeof oldPath))
        return 0;
    // the new name beside the old one, in the disk's own encoding
    if (!MultiByteToWideChar(CP_ACP, 0, newName, -1, wideName, PATH_CAP) ||
        !WideCharToMultiByte(CP_UTF8, 0, wideName, -1, utf8Name, sizeof utf8Name, NULL, NULL))
        return 0;
    char *slash = strrchr(oldPath, '/');
    if (slash == NULL)
        return 0;
    TextCopyPrefix(newPath, sizeof newPath, oldPath, (size_t)(slash + 1 - oldPath));
    if (!TextAppend(newPath, sizeof newPath, utf8Name))
        return 0;
    return renameat2(AT_FDCWD, oldPath, AT_FDCWD, newPath, RENAME_NOREPLACE) == 0;
}
#else
static int RenameCaseOnly(const char *oldName, const char *newName)
{
    return MoveFileA(oldName, newName);
}
#endif

// Renames an entry of the current directory; nonzero on success.
static int RenameEntry(const char *oldName, const char *newName)
{
    if (DiffersOnlyInCase(oldName, newName))
        return RenameCaseOnly(oldName, newName);
    return MoveFileA(oldName, newName);
}

// The collision path: one more try with the run-wide counter after the whole name.
// A name that would not fit with the counter keeps its old name, like any failed retry.
static void RenameWithCounter(void)
{
    counterText[0] = '\0';
    TextAppendInt(counterText, sizeof counterText, renameCounter);
    if (TextAppend(fixedName, sizeof fixedName, counterText) &&
        RenameEntry(WFD.cFileName, fixedName))
        renameCounter += 2;
    else
        renameCounter += 1;
}

// Gives the entry in WFD its fixed name, in the current directory.
int FixFileName(void)
{
    ShowStatus(WFD.cFileName);
    MakeFixedName(WFD.cFileName, fixedName, sizeof fixedName);
    if (strcmp(fixedName, WFD.cFileName) == 0)
        return 1;
    if (!RenameEntry(WFD.cFileName, fixedName))
        RenameWithCounter();
    return 1;
}

// The name-fix job: fixes every entry of workDir, files and subdirectories alike,
// without entering the subdirectories.
int FixFileNames(void)
{
    if (!EnterWorkDir())
        return 1;
    HANDLE search = FindFirstFileA("*.*", &WFD);
    if (search == INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL, "нету файлов", "нету файлов", MB_OK | MB_ICONINFORMATION);
        return 1;
    }
    do {
        FixFileName();
    } while (FindNextFileA(search, &WFD));
    FindClose(search);
    return 1;
}
