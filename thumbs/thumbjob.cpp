#include "thumbs.h"

// Placeholder until the job dialog is built.
INT_PTR CALLBACK ThumbJobProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog; (void)message; (void)wParam; (void)lParam;
    return FALSE;
}
