// Small user actions on the program's dialogs, done through the messages a user's mouse
// and keyboard would cause.
#ifndef FOTOBATCH_DIALOGS_H
#define FOTOBATCH_DIALOGS_H

#include "gtest_win.h"
#include "boxwatch.h"

#include <string>
#include <vector>

// Every entry of a list box, in its order, as ANSI bytes.
std::vector<std::string> ListEntries(HWND dialog, int listId);
// Whether a list holds the entry.
bool Has(const std::vector<std::string> &entries, const std::string &entry);
// The chooser from "&Select Directory", its list and path field read as it opens, then
// the given button pressed.
struct ChooserSeen {
    std::vector<std::string> entries;
    std::string path;
};
ChooserSeen OpenChooser(BoxWatch &watch, int button);
// Selects the entry that reads exactly `entry` and double-clicks it; false if it is missing.
bool DoubleClickEntry(HWND dialog, int listId, const std::string &entry);
// Types a text into a field, replacing what it held.
void SetField(HWND dialog, int id, const std::string &text);
// Clicks a button and waits for what it does (the handler runs before this returns).
void ClickNow(HWND dialog, int id);
// Sends a menu command to the main window; the steps run inside the dialog it opens and
// must close it.
void OpenFromMenu(BoxWatch &watch, int command, std::function<void(HWND)> steps);
// Presses a key in the control that has the focus (or the dialog), as the keyboard would.
void PostKey(HWND dialog, UINT key);
// "&File name FIX" from the menu, then FIX on workDir.
void FixThroughMenu(BoxWatch &watch);
// "&Undo last FIX" from the menu: the text of the one box it shows, "" if it showed other.
std::string UndoFixThroughMenu();
// Whether "&Undo last FIX" may be chosen when the File menu opens.
bool UndoFixEnabled();

#endif
