// What every scenario needs: the program's main window, fresh shared state, temporary
// folders holding real files with UTF-8 names on disk, and ANSI/UTF-8 conversions.
#ifndef FOTOBATCH_FIXTURE_H
#define FOTOBATCH_FIXTURE_H

#include "gtest_win.h"

#include <map>
#include <string>
#include <vector>

// Windows-1251 bytes (what the ANSI calls see) to UTF-8 (what the disk holds), and back.
std::string AnsiToUtf8(const std::string &ansi);
std::string Utf8ToAnsi(const std::string &utf8);

// A Unix path as Wine names it (Z:\...), in ANSI bytes.
std::string WinPathOf(const std::string &unixPath);
// The names that a Win32 search for the pattern (a Windows path with a mask) yields, in
// its order, as ANSI bytes.
std::vector<std::string> WinListing(const std::string &pattern);

// Every entry below a Unix folder with its bytes, keyed by its path inside the folder: a
// directory as "name/", a link by its target ("-> target").
std::map<std::string, std::string> FolderSnapshot(const std::string &dir);

// Creates the main window once per test program and puts the shared state back to what
// start-up makes it.
void StartProgram();
// The workers from now on: the real ones (NULL) or stand-ins failing as the mode says.
void UseStandIn(const char *mode);
// Dispatches whatever is waiting in this thread's queue.
void PumpMessages();

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    std::string unixPath;  // /tmp/fotobatch-XXXXXX
    std::string winPath;   // the same folder as Wine sees it, Z:\tmp\fotobatch-XXXXXX

    // All names are UTF-8, as a Linux user's files are.
    void WriteFile(const std::string &name, const std::string &bytes) const;
    void MakeDir(const std::string &name) const;
    bool Exists(const std::string &name) const;
    std::string ReadFile(const std::string &name) const;
    std::vector<std::string> List(const std::string &subdir = "") const;  // sorted
    std::string Path(const std::string &name) const { return unixPath + "/" + name; }
    // The names that match a mask, as the jobs' directory search yields them (ANSI bytes).
    std::vector<std::string> SearchOrder(const std::string &mask) const;
};

// Every kind of name that FIX changes and that can stand side by side on a disk that
// ignores letter case, in subdir ("" or ending with '/') of the folder: Cyrillic, blanks,
// brackets, hyphens, capitals, a change of case alone, a name taken so that a counter
// follows, a subdirectory, and one name already fixed. FIX gives back 7 of them.
void MakeNamesFixChanges(const TestFolder &folder, const std::string &subdir);

#endif
