#include "chooser.h"

// Placeholder until the chooser is built: closes at once.
INT_PTR CALLBACK DirChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog; (void)message; (void)wParam; (void)lParam;
    return FALSE;
}

void SelectDirectoryCommand(HWND owner)
{
    (void)owner;
}
