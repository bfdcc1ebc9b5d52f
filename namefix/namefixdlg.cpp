#include "namefix.h"

// Placeholder until the name-fix dialog is built.
INT_PTR CALLBACK NameFixProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog; (void)message; (void)wParam; (void)lParam;
    return FALSE;
}
