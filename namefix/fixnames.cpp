#include "namefix.h"
#include "../base/base.h"
#include "../base/state.h"

#include <string.h>

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

// The collision path: one more try with the run-wide counter after the whole name.
// A name that would not fit with the counter keeps its old name, like any failed retry.
static void RenameWithCounter(const char *name)
{
    counterText[0] = '\0';
    TextAppendInt(counterText, sizeof counterText, renameCounter);
    if (TextAppend(fixedName, sizeof fixedName, counterText) &&
        RenameEntry(name, fixedName))
        renameCounter += 2;
    else
        renameCounter += 1;
}

// Gives the named entry its fixed name, in the folder the walk opened for renaming.
int FixFileName(const char *name)
{
    ShowStatus(name);
    MakeFixedName(name, fixedName, sizeof fixedName);
    if (strcmp(fixedName, name) == 0)
        return 1;
    if (!RenameEntry(name, fixedName))
        RenameWithCounter(name);
    return 1;
}

// The name-fix job: fixes every entry of workDir, files and subdirectories alike,
// without entering the subdirectories.
int FixFileNames(void)
{
    if (!EnterWorkDir())
        return 1;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstEntry("*.*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL, "нету файлов", "нету файлов", MB_OK | MB_ICONINFORMATION);
        return 1;
    }
    // a folder that cannot be opened for renaming fails every rename, as a locked one would
    OpenRenameFolder();
    do {
        FixFileName(found.cFileName);
    } while (FindNextEntry(search, &found));
    CloseRenameFolder();
    FindClose(search);
    return 1;
}
