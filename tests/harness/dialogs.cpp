#include "dialogs.h"
#include "boxwatch.h"

#include "base/state.h"
#include "res/resource.h"

#include <algorithm>

std::vector<std::string> ListEntries(HWND dialog, int listId)
{
    std::vector<std::string> entries;
    int count = (int)SendDlgItemMessageA(dialog, listId, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        int length = (int)SendDlgItemMessageA(dialog, listId, LB_GETTEXTLEN, i, 0);
        std::string entry(length + 1, '\0');
        SendDlgItemMessageA(dialog, listId, LB_GETTEXT, i, (LPARAM)&entry[0]);
        entry.resize(length);
        entries.push_back(entry);
    }
    return entries;
}

bool Has(const std::vector<std::string> &entries, const std::string &entry)
{
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

ChooserSeen OpenChooser(BoxWatch &watch, int button)
{
    ChooserSeen seen;
    OpenFromMenu(watch, IDM_SELECT_DIR, [&](HWND dialog) {
        seen.entries = ListEntries(dialog, IDC_DIR_LIST);
        seen.path = ControlText(dialog, IDC_DIR_PATH);
        PressNow(dialog, button);
    });
    return seen;
}

bool DoubleClickEntry(HWND dialog, int listId, const std::string &entry)
{
    std::vector<std::string> entries = ListEntries(dialog, listId);
    auto found = std::find(entries.begin(), entries.end(), entry);
    if (found == entries.end())
        return false;
    HWND list = GetDlgItem(dialog, listId);
    SendMessageA(list, LB_SETCURSEL, found - entries.begin(), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_DBLCLK), (LPARAM)list);
    return true;
}

void SetField(HWND dialog, int id, const std::string &text)
{
    SetDlgItemTextA(dialog, id, text.c_str());
}

void ClickNow(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

void PostKey(HWND dialog, UINT key)
{
    HWND focus = GetFocus();
    HWND target = (focus != NULL && (focus == dialog || IsChild(dialog, focus))) ? focus : dialog;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void FixThroughMenu(BoxWatch &watch)
{
    watch.Then(Press(IDOK));
    SendMessageA(mainWindow, WM_COMMAND, IDM_NAME_FIX, 0);
}

std::string UndoFixThroughMenu()
{
    BoxWatch watch;
    SendMessageA(mainWindow, WM_COMMAND, IDM_UNDO_FIX, 0);
    EXPECT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    bool one = watch.seen.size() == 1 && watch.seen[0].caption == "Undo last FIX";
    return one ? watch.seen[0].text : "";
}

bool UndoFixEnabled()
{
    HMENU file = GetSubMenu(GetMenu(mainWindow), 0);
    SendMessageA(mainWindow, WM_INITMENUPOPUP, (WPARAM)file, 0);
    return !(GetMenuState(file, IDM_UNDO_FIX, MF_BYCOMMAND) & MF_GRAYED);
}

void OpenFromMenu(BoxWatch &watch, int command, std::function<void(HWND)> steps)
{
    watch.Then(Steps(steps));
    SendMessageA(mainWindow, WM_COMMAND, command, 0);
}
