// Opens each of the program's five dialogs through its real menu, the description dialog
// through a thumbnail job over one image, and measures every static and button that has a
// text with the control's own font, as the control draws it: DrawTextA with DT_CALCRECT |
// DT_WORDBREAK at the control's width must need no more than the control's size (a group
// box's text stands on one line). Prints each cut label and each dialog that did not come,
// and then exits with 1. Built with Winelib (run in the tests' Wine prefix) and for Windows
// (run by the release check under 32-bit Wine).
// Usage: fotobatch-labelcheck
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "dialogwatch.h"

#include "app/app.h"
#include "base/progress.h"
#include "base/state.h"
#include "base/textbuf.h"
#include "res/resource.h"

// The one label that no face with the Windows metrics makes whole: with Wine's own
// "MS Sans Serif" for code page 1251, whose glyph widths follow the Windows face's, it
// needs 202 pixels in a static of 201 (134 dialog units). The template stays as it is.
static const char *const cutWithWindowsMetrics[] = {
    "Directory thumbnails save (c:\\thumbnails\\):",
};

static char imageFolder[MAX_PATH];
static int labelsMeasured;
static int faults;

// Fills the job dialog so that Run! makes one thumbnail of the one image of imageFolder.
static void FillJobDialog(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_JOB_DIR, imageFolder);
    SetDlgItemTextA(dialog, IDC_MASK_FIELD, "*.bmp");
}

// The dialogs, in the order they open: the menu item that opens each (none for the
// description dialog, which the job opens), its caption and how it is left.
struct DialogCase {
    const char *menuItem;
    const char *caption;
    void (*fill)(HWND dialog);
    int answer;
    int seen;
};
static DialogCase dialogCases[] = {
    {"&About ...", "About", NULL, IDOK, 0},
    {"&Select Directory", "Open Directory", NULL, IDC_CANCEL_BUTTON, 0},
    {"&File name FIX", "File FIX", NULL, IDCANCEL, 0},
    {"&Thumbnails!", "Properties image processing", FillJobDialog, IDC_RUN, 0},
    {NULL, "Установка описаний файлов для сайта example.org", NULL, IDOK, 0},
};
static const int dialogCount = sizeof dialogCases / sizeof dialogCases[0];

// Prints one line of the program's ANSI text, for the test log; counts a fault.
static void Print(const std::string &ansi, int fault)
{
    PrintUtf8("", ansi.c_str());
    faults += fault;
}

// Measures one label, a static that wraps at words (left, centred or right) or a button
// (a push button or a group box), and reports it when its text needs more than its
// control holds.
static void MeasureLabel(const char *caption, HWND control)
{
    char className[16] = "";
    GetClassNameA(control, className, sizeof className);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    int isStatic = lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
    int isButton = lstrcmpiA(className, "Button") == 0;
    char text[1024] = "";
    if ((!isStatic && !isButton) || GetWindowTextA(control, text, sizeof text) == 0)
        return;
    RECT room;
    GetClientRect(control, &room);
    HDC dc = GetDC(control);
    HGDIOBJ oldFont = SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
    RECT need = {0, 0, room.right, 0};
    DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | (isStatic && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(control, dc);
    if (isButton && (style & BS_TYPEMASK) == BS_GROUPBOX)
        room.bottom = metrics.tmHeight;
    labelsMeasured++;
    if (need.right <= room.right && need.bottom <= room.bottom)
        return;
    int known = 0;
    for (const char *label : cutWithWindowsMetrics)
        known |= strcmp(label, text) == 0;
    Print(std::string(known ? "KNOWN CUT " : "CUT ") + caption + " | control " +
          std::to_string(GetDlgCtrlID(control)) + " | " + text + " | needs " + std::to_string(need.right) + "x" +
          std::to_string(need.bottom) + ", has " + std::to_string(room.right) + "x" + std::to_string(room.bottom),
          !known);
}

// Measures a dialog of the table when it comes up and answers it; OK for any other box.
static void OnDialog(HWND dialog)
{
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    for (int i = 0; i < dialogCount; i++) {
        DialogCase &dialogCase = dialogCases[i];
        if (strcmp(caption, dialogCase.caption) != 0)
            continue;
        if (dialogCase.seen++)
            return;
        for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL; control = GetWindow(control, GW_HWNDNEXT))
            MeasureLabel(caption, control);
        if (dialogCase.fill != NULL)
            dialogCase.fill(dialog);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(dialogCase.answer, BN_CLICKED), 0);
        return;
    }
    if (strcmp(caption, SUMMARY_CAPTION) == 0) {  // the one-image job's end
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return;
    }
    char text[1024] = "";
    GetDlgItemTextA(dialog, BOX_TEXT_ID, text, sizeof text);
    Print(std::string("UNEXPECTED BOX ") + caption + " | " + text, 1);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// The command of the menu item that reads `text`, in the menu or one of its pop-ups.
static UINT MenuCommand(HMENU menu, const char *text)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        HMENU popup = GetSubMenu(menu, i);
        char itemText[64] = "";
        if (popup != NULL) {
            UINT command = MenuCommand(popup, text);
            if (command != 0)
                return command;
        } else if (GetMenuStringA(menu, i, itemText, sizeof itemText, MF_BYPOSITION) > 0 &&
                   strcmp(itemText, text) == 0) {
            return GetMenuItemID(menu, i);
        }
    }
    return 0;
}

// A folder of the system's temporary folder holding one 1 x 1 BMP, for the job to open
// the description dialog once.
static int MakeImageFolder(void)
{
    GetTempPathA(sizeof imageFolder, imageFolder);
    TextAppend(imageFolder, sizeof imageFolder, "fotobatch-labels-");
    TextAppendUnsigned(imageFolder, sizeof imageFolder, GetCurrentProcessId());
    if (!CreateDirectoryA(imageFolder, NULL))
        return 0;
    struct { BITMAPFILEHEADER file; BITMAPINFOHEADER info; BYTE pixel[4]; } __attribute__((packed)) bmp;
    memset(&bmp, 0, sizeof bmp);
    bmp.file.bfType = 0x4D42;
    bmp.file.bfSize = sizeof bmp;
    bmp.file.bfOffBits = sizeof bmp.file + sizeof bmp.info;
    bmp.info.biSize = sizeof bmp.info;
    bmp.info.biWidth = bmp.info.biHeight = 1;
    bmp.info.biPlanes = 1;
    bmp.info.biBitCount = 24;
    HANDLE file = CreateFileA((std::string(imageFolder) + "\\label.bmp").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    int made = file != INVALID_HANDLE_VALUE && WriteFile(file, &bmp, sizeof bmp, &written, NULL) &&
               written == sizeof bmp;
    CloseHandle(file);
    return made;
}

// Removes the image folder with what the job wrote into it.
static void RemoveImageFolder(void)
{
    SetCurrentDirectoryA("C:\\");
    for (const char *name : {"\\thumbnails\\label_small.jpg", "\\imagelog.sql", "\\label.bmp"})
        DeleteFileA((std::string(imageFolder) + name).c_str());
    RemoveDirectoryA((std::string(imageFolder) + "\\thumbnails").c_str());
    RemoveDirectoryA(imageFolder);
}

int main(void)
{
    if (!MakeImageFolder()) {
        Print("no image folder could be made", 1);
        return 1;
    }
    StartMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
    WatchEachDialog(OnDialog);
    for (int i = 0; i < dialogCount; i++) {
        if (dialogCases[i].menuItem == NULL)
            continue;
        UINT command = MenuCommand(GetMenu(mainWindow), dialogCases[i].menuItem);
        if (command != 0)
            SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
    RemoveImageFolder();
    for (int i = 0; i < dialogCount; i++) {
        if (!dialogCases[i].seen)
            Print(std::string("NOT OPENED ") + dialogCases[i].caption, 1);
    }
    printf("%d labels measured in %d dialogs, %d faults\n", labelsMeasured, dialogCount, faults);
    return faults == 0 ? 0 : 1;
}
