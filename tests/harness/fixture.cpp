#include "fixture.h"

#include "app/app.h"
#include "base/state.h"
#include "thumbs/thumbs.h"
#include "decode/decoder.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static std::string Convert(const std::string &text, UINT from, UINT to)
{
    if (text.empty())
        return text;
    int wideLength = MultiByteToWideChar(from, 0, text.data(), (int)text.size(), NULL, 0);
    std::vector<WCHAR> wide(wideLength);
    MultiByteToWideChar(from, 0, text.data(), (int)text.size(), wide.data(), wideLength);
    int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, NULL, 0, NULL, NULL);
    std::string result(length, '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, &result[0], length, NULL, NULL);
    return result;
}

std::string AnsiToUtf8(const std::string &ansi) { return Convert(ansi, 1251, CP_UTF8); }
std::string Utf8ToAnsi(const std::string &utf8) { return Convert(utf8, CP_UTF8, 1251); }

// The worker beside the test programs is the stand-in (tests/standin_worker.cpp): the
// real worker unless the mode names a fault. Workers already running end, so that the
// next job starts them in the mode asked for.
void UseStandIn(const char *mode)
{
    SetEnvironmentVariableA("FOTOBATCH_STANDIN", mode);
    DecoderShutdown();
}

void StartProgram()
{
    SetStartUpState();
    if (GetEnvironmentVariableA("FOTOBATCH_STANDIN", NULL, 0) > 0)
        UseStandIn(NULL);
    if (mainWindow != NULL && IsWindow(mainWindow)) {
        EnableWindow(mainWindow, TRUE);
        return;
    }
    HINSTANCE instance = GetModuleHandleA(NULL);
    StartMainWindow(instance, SW_SHOWNORMAL);
    PumpMessages();
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string WinPathOf(const std::string &unixPath)
{
    std::string path;
    WCHAR *dosWide = wine_get_dos_file_name(unixPath.c_str());
    if (dosWide != NULL) {
        int length = WideCharToMultiByte(CP_ACP, 0, dosWide, -1, NULL, 0, NULL, NULL);
        path.assign(length, '\0');
        WideCharToMultiByte(CP_ACP, 0, dosWide, -1, &path[0], length, NULL, NULL);
        path.resize(length - 1);
        HeapFree(GetProcessHeap(), 0, dosWide);
    }
    return path;
}

TestFolder::TestFolder()
{
    char pattern[] = "/tmp/fotobatch-XXXXXX";
    unixPath = mkdtemp(pattern);
    winPath = WinPathOf(unixPath);
}

static int RemoveOne(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

TestFolder::~TestFolder()
{
    // leave the folder before it goes, so that Wine holds no handle on it
    SetCurrentDirectoryA("C:\\");
    nftw(unixPath.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

void TestFolder::WriteFile(const std::string &name, const std::string &bytes) const
{
    int fd = open(Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ((ssize_t)bytes.size(), write(fd, bytes.data(), bytes.size()));
    close(fd);
}

void TestFolder::MakeDir(const std::string &name) const
{
    mkdir(Path(name).c_str(), 0755);
}

bool TestFolder::Exists(const std::string &name) const
{
    struct stat info;
    return lstat(Path(name).c_str(), &info) == 0;
}

// The bytes of a file at a Unix path, "" when it cannot be read.
static std::string ReadWhole(const std::string &path)
{
    std::string bytes;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return bytes;
    char chunk[65536];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, got);
    close(fd);
    return bytes;
}

std::string TestFolder::ReadFile(const std::string &name) const
{
    return ReadWhole(Path(name));
}

// The names in a folder at a Unix path, sorted, "." and ".." left out.
static std::vector<std::string> DirNames(const std::string &path)
{
    std::vector<std::string> names;
    DIR *dir = opendir(path.c_str());
    if (dir == NULL)
        return names;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TestFolder::List(const std::string &subdir) const
{
    return DirNames(subdir.empty() ? unixPath : Path(subdir));
}

std::vector<std::string> TestFolder::SearchOrder(const std::string &mask) const
{
    return WinListing(winPath + "\\" + mask);
}

std::vector<std::string> WinListing(const std::string &pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void MakeNamesFixChanges(const TestFolder &folder, const std::string &subdir)
{
    const char *const files[][2] = {
        {u8"Фото Отпуск (1).JPG", "cyrillic, blanks, brackets"}, {u8"Юля-Ёлка.txt", "hyphen"},
        {"IMG_0001.JPG", "case only"},  {"DSC-0002.jpg", "hyphen"},
        {"foto.jpg", "there first"},    {u8"Фото.jpg", "takes a counter"},
        {"data.txt", "already fixed"},  {"ALBUM/Inside.JPG", "not entered"},
        {u8"Новая папка/Фото.JPG", "not entered"}};
    folder.MakeDir(subdir + "ALBUM");
    folder.MakeDir(subdir + u8"Новая папка");
    for (const auto &file : files)
        folder.WriteFile(subdir + file[0], file[1]);
}

// Adds the entries below dir to a snapshot, their keys starting with prefix.
static void AddToSnapshot(const std::string &dir, const std::string &prefix, std::map<std::string, std::string> &into)
{
    for (const std::string &name : DirNames(dir)) {
        std::string path = dir + "/" + name;
        struct stat info;
        char target[4096];
        ssize_t length;
        lstat(path.c_str(), &info);
        if (S_ISLNK(info.st_mode) && (length = readlink(path.c_str(), target, sizeof target)) >= 0) {
            into[prefix + name] = "-> " + std::string(target, length);
        } else if (S_ISDIR(info.st_mode)) {
            into[prefix + name + "/"] = "";
            AddToSnapshot(path, prefix + name + "/", into);
        } else {
            into[prefix + name] = ReadWhole(path);
        }
    }
}

std::map<std::string, std::string> FolderSnapshot(const std::string &dir)
{
    std::map<std::string, std::string> files;
    AddToSnapshot(dir, "", files);
    return files;
}
