// The thumbnail job's own writes: every file is made new under a temporary name in its
// folder, filled through the Win32 file API with each write checked, and only then
// renamed over its final name, which replaces a link of that name instead of writing
// through it. Names are relative to the working directory.
#ifndef FOTOBATCH_THUMBFILE_H
#define FOTOBATCH_THUMBFILE_H

#include <windows.h>
#include "../base/state.h"

// Creates a new, empty file with a temporary name in folder ("." for the working
// directory); its name goes to name. INVALID_HANDLE_VALUE when none could be made.
HANDLE CreateTempFileIn(const char *folder, char *name, size_t cap);
// The longest name, relative to the working directory, of a file the job makes: a
// temporary thumbnail, thumbnails\~fotobatch-<process>-<try>.tmp. A working directory
// longer than WORK_DIR_MAX leaves such a name no room in a path of 259 characters, which
// is all Win32 opens.
#define LONGEST_JOB_NAME (sizeof THUMB_FOLDER "\\~fotobatch-4294967295-99.tmp" - 1)
#define WORK_DIR_MAX (PATH_CAP - 2 - LONGEST_JOB_NAME)

// Removes the temporary files of this program's pattern that a killed job left in folder.
void RemoveStaleTempFiles(const char *folder);
// Writes all the bytes at the file's position and pushes them to the disk. 0 when any
// write or the flush failed or fell short.
int WriteAllBytes(HANDLE file, const void *bytes, DWORD count);
// Renames from over to in one step: an existing file of that name is replaced, a link of
// that name is replaced as a link. 0 when it failed; from is then left as it was.
int RenameOver(const char *from, const char *to);
// 1 when name is an entry that sits directly in folder, and not a name the system would
// resolve to somewhere else (a device, a parent folder).
int IsEntryOfFolder(const char *folder, const char *name);
// 1 when name is a directory of its own, not a link to one.
int IsRealDirectory(const char *name);
// Makes sure the disk holds room for count more bytes at the end of the file named
// name, without changing its length. 0 only when the disk is known to be full; a disk
// that cannot reserve room says nothing and the write itself is checked.
int ReserveRoom(HANDLE file, const char *name, DWORD count);

#endif
