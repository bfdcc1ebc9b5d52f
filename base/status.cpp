#include "base.h"
#include "state.h"

#include <string.h>

// 70 blanks: drawn first, opaque, they wipe out the previous status text.
static const char blankLine[] =
    "                                                                      ";

// Draws one text at the top left of the main window's client area, through a device
// context of its own, so that it shows at once even while a job keeps the message loop
// from running. No format flags: an ampersand underlines the character after it.
static void DrawStatusText(const char *text)
{
    HDC drawDC = GetDC(mainWindow);
    if (drawDC == NULL)
        return;
    RECT clientRect;
    GetClientRect(mainWindow, &clientRect);
    DrawTextA(drawDC, text, (int)strlen(text), &clientRect, 0);
    ReleaseDC(mainWindow, drawDC);
}

// Shows a text as the new status line; a repaint of the window puts workDir back.
int ShowStatus(const char *text)
{
    DrawStatusText(blankLine);
    DrawStatusText(text);
    return 1;
}
