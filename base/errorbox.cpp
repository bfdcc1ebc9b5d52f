#include "base.h"
#include "state.h"

// The failure boxes that name what failed: the text says what went wrong, the name
// (a file, a folder, a typed setting) follows it on the same line or the next, as the
// text ends. Room for the longest text and a whole path.
void ShowNamedError(HWND owner, const char *text, const char *name, UINT icon)
{
    char message[2 * PATH_CAP];
    TextCopy(message, sizeof message, text);
    TextAppend(message, sizeof message, name);
    MessageBoxA(owner, message, "Error", MB_OK | icon);
}
