#include "app.h"
#include "../base/base.h"
#include "../base/state.h"
#include "../chooser/chooser.h"

#include <string.h>

// Opening a folder directly: `fotobatch.exe "D:\Фото\Отпуск"`, a folder dropped on the
// program's icon, or the Linux launcher's argument made into a Wine path.

// The folder named on a command line: all of it past the blanks around it, or what the
// first pair of quotes holds (Explorer quotes a dropped folder; a folder typed without
// quotes may still hold blanks). 0 when it does not fit a path.
static int FolderArgument(const char *commandLine, char *folder, size_t cap)
{
    while (*commandLine == ' ' || *commandLine == '\t')
        commandLine++;
    size_t length;
    if (*commandLine == '"') {
        commandLine++;
        const char *quote = strchr(commandLine, '"');
        length = quote != NULL ? (size_t)(quote - commandLine) : strlen(commandLine);
    } else {
        length = strlen(commandLine);
        while (length > 0 && (commandLine[length - 1] == ' ' || commandLine[length - 1] == '\t'))
            length--;
    }
    return TextCopyPrefix(folder, cap, commandLine, length);
}

// Makes a folder the current directory and takes its full name as the chooser's "Open"
// does; 0 when it is no folder or its name is too long for a path.
static int EnterFolder(const char *folder)
{
    DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           SetCurrentDirectoryA(folder) && TakeCurrentDirectory();
}

// A folder on the command line becomes the working directory before the user does
// anything: thumbDirPath follows it and the chooser lists it first. One that is not an
// existing folder is named in a box, and the program starts as it always does. Without
// an argument nothing changes.
void OpenFolderFromCommandLine(const char *commandLine)
{
    char folder[PATH_CAP];
    int fit = FolderArgument(commandLine != NULL ? commandLine : "", folder, sizeof folder);
    if (folder[0] == '\0')
        return;
    if (!fit || !EnterFolder(folder)) {
        ShowNamedError(mainWindow, "Папка не найдена, открыта папка по умолчанию:\n", folder, MB_ICONINFORMATION);
        return;
    }
    BuildThumbDirPath();
    TextCopy(browseSpec, sizeof browseSpec, "*.*");
    InvalidateRect(mainWindow, NULL, TRUE);
}
