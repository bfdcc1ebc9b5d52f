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

// What became of one entry in a walk.
enum FixOutcome { FIX_UNCHANGED, FIX_RENAMED, FIX_FAILED };

// Whether this walk's journal failed.
static int journalFailed = 0;

// Whether two names differ in the letters A to Z alone, and are not the same.
static int IsCaseOnlyChange(const char *oldName, const char *newName)
{
    char oldSmall[PATH_CAP];
    char newSmall[PATH_CAP];
    if (strcmp(oldName, newName) == 0 || !TextCopy(oldSmall, sizeof oldSmall, oldName) ||
        !TextCopy(newSmall, sizeof newSmall, newName))
        return 0;
    LowerCaseAscii(oldSmall);
    LowerCaseAscii(newSmall);
    return strcmp(oldSmall, newSmall) == 0;
}

// One rename, noted in the journal before it is tried; 0 when it did not happen. When the
// journal cannot take the note, nothing is renamed and the walk stops.
static int JournaledRename(const char *oldName, const char *newName)
{
    if (!JournalRename(oldName, newName)) {
        journalFailed = 1;
        return 0;
    }
    if (RenameEntry(oldName, newName))
        return 1;
    JournalFailedRename();
    return 0;
}

// A temporary name of this program that no entry bears; 0 when none was found.
static int FreeTemporaryName(char *name, size_t cap)
{
    static int tempNumber = 0;
    for (int tries = 0; tries < 100; tries++) {
        TextCopy(name, cap, TEMP_NAME_PREFIX);
        TextAppendUnsigned(name, cap, GetCurrentProcessId());
        TextAppend(name, cap, "-");
        TextAppendInt(name, cap, tempNumber++);
        if (!EntryExists(name))
            return 1;
    }
    return 0;
}

// Renames an entry as a walk does. A change of letter case alone goes through a free
// temporary name: a case-insensitive disk finds the entry itself under its new name and
// refuses the rename (or, where the rename does not replace, does nothing), and the entry
// would end up with a counter after its extension. Where the new name is another entry
// (a case-sensitive disk), the second step fails and the entry goes back.
static int MoveEntry(const char *oldName, const char *newName)
{
    if (!IsPlainEntryName(oldName) || !IsPlainEntryName(newName))
        return 0;
    if (!IsCaseOnlyChange(oldName, newName))
        return JournaledRename(oldName, newName);
    char tempName[PATH_CAP];
    if (!FreeTemporaryName(tempName, sizeof tempName) || !JournaledRename(oldName, tempName))
        return 0;
    if (JournaledRename(tempName, newName))
        return 1;
    // back under its old name: the journal's note of the first step then names no entry
    RenameEntry(tempName, oldName);
    return 0;
}

// The collision path: one more try with the run-wide counter after the whole name.
// A name that would not fit with the counter keeps its old name, like any failed retry.
static int RenameWithCounter(const char *name)
{
    counterText[0] = '\0';
    TextAppendInt(counterText, sizeof counterText, renameCounter);
    if (TextAppend(fixedName, sizeof fixedName, counterText) &&
        MoveEntry(name, fixedName)) {
        renameCounter += 2;
        return 1;
    }
    renameCounter += 1;
    return 0;
}

// Gives the named entry its fixed name, in the folder the walk opened for renaming.
static FixOutcome FixFileName(const char *name)
{
    ShowStatus(name);
    MakeFixedName(name, fixedName, sizeof fixedName);
    if (strcmp(fixedName, name) == 0)
        return FIX_UNCHANGED;
    if (MoveEntry(name, fixedName) || (!journalFailed && RenameWithCounter(name)))
        return FIX_RENAMED;
    return FIX_FAILED;
}

// Counts what became of an entry for the summary; those that kept their old names by name.
static void TallyFix(JobTally *tally, const char *name, FixOutcome outcome)
{
    if (outcome == FIX_RENAMED)
        tally->done++;
    else if (outcome == FIX_UNCHANGED)
        tally->unchanged++;
    else if (!journalFailed)
        AddToNameList(&tally->missed, name);
}

// The box for a walk stopped because its journal could not be written.
static void ShowJournalFailure(void)
{
    char path[PATH_CAP];
    if (!FixJournalPath(path, sizeof path, 0))
        path[0] = '\0';
    ShowNamedError(NULL, "FIX остановлен: не удаётся записать журнал, переименованное до этого "
                         "отменяет Undo last FIX:\n", path, MB_ICONINFORMATION);
}

// The name-fix job: fixes every entry of workDir, files and subdirectories alike,
// without entering the subdirectories. A drive's root and the system's folders are
// refused; every rename is journaled first, so that the walk can be undone. The progress
// window's Cancel stops the walk between two entries, each then under one name.
int FixFileNames(void)
{
    if (!EnterWorkDir() || RefuseSystemFolder())
        return 1;
    int total = CountEntries("*.*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstEntry("*.*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL, "нету файлов", "нету файлов", MB_OK | MB_ICONINFORMATION);
        return 1;
    }
    JobTally tally;
    TallyStart(&tally);
    journalFailed = 0;
    BeginFixJournal();
    // a folder that cannot be opened for renaming fails every rename, as a locked one would
    OpenRenameFolder();
    ProgressOpen("FIX", total);
    do {
        if (IsFolderItself(found.cFileName))
            continue;
        if (!ProgressNext(found.cFileName))
            break;
        TallyFix(&tally, found.cFileName, FixFileName(found.cFileName));
    } while (!journalFailed && FindNextEntry(search, &found));
    ProgressClose();
    CloseRenameFolder();
    FindClose(search);
    EndFixJournal();
    if (journalFailed)
        ShowJournalFailure();
    ShowNameFixSummary(&tally);
    return 1;
}
