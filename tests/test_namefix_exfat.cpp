// FIX, its undo and the thumbnail job on a real exFAT disk through FUSE (exfat-fuse on a
// loop device), as on a memory card: the disk refuses RENAME_NOREPLACE and finds names
// whatever their letter case. Skipped, saying why, where the machine has no FUSE or no
// loop devices.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"

#include "base/state.h"
#include "namefix/namefix.h"
#include "res/resource.h"

#include <algorithm>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

// A 64 MB exFAT image in a test folder, on a loop device, mounted through FUSE at mnt/.
struct ExfatDisk {
    TestFolder folder;
    std::string mount, loop, winPath, missing;
    bool mounted = false;
    ExfatDisk()
    {
        std::string image = folder.Path("disk.img");
        mount = folder.Path("mnt");
        mkdir(mount.c_str(), 0755);
        int fd = open(image.c_str(), O_WRONLY | O_CREAT, 0644);
        bool made = fd >= 0 && ftruncate(fd, 64 << 20) == 0;
        if (fd >= 0)
            close(fd);
        if (access("/dev/fuse", R_OK | W_OK) != 0) {
            missing = "this machine has no FUSE (/dev/fuse)";
        } else if (!made || !Run("mkfs.exfat " + image)) {
            missing = "mkfs.exfat (exfatprogs) is missing or failed";
        } else if ((loop = Output("losetup -f --show " + image)).empty()) {
            missing = "this machine has no free loop device";
        } else if (!(mounted = Run("mount.exfat-fuse " + loop + " " + mount))) {
            missing = "mount.exfat-fuse (exfat-fuse) is missing or failed";
        }
        WCHAR *dosWide = wine_get_dos_file_name(mount.c_str());
        char dosPath[MAX_PATH] = "";
        WideCharToMultiByte(CP_ACP, 0, dosWide, -1, dosPath, sizeof dosPath, NULL, NULL);
        HeapFree(GetProcessHeap(), 0, dosWide);
        winPath = dosPath;
    }
    ~ExfatDisk()
    {
        SetCurrentDirectoryA("C:\\");
        if (mounted)
            Run("umount " + mount);
        if (!loop.empty())
            Run("losetup -d " + loop);
    }
    static bool Run(const std::string &command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }
    static std::string Output(const std::string &command)
    {
        char line[256] = "";
        FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
        if (pipe == NULL)
            return "";
        if (fgets(line, sizeof line, pipe) == NULL)
            line[0] = '\0';
        pclose(pipe);
        std::string text = line;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
};

// Every kind of changed name that can stand side by side on a case-insensitive disk.
static void MakeMixedNames(const std::string &root)
{
    const char *const files[][2] = {
        {u8"Фото Отпуск (1).JPG", "cyrillic, blanks, brackets"}, {u8"Юля-Ёлка.txt", "hyphen"},
        {"IMG_0001.JPG", "case only"},  {"DSC-0002.jpg", "hyphen"},
        {"foto.jpg", "there first"},    {u8"Фото.jpg", "takes a counter"},
        {"data.txt", "already fixed"},  {"ALBUM/Inside.JPG", "not entered"},
        {u8"Новая папка/Фото.JPG", "not entered"}};
    mkdir((root + "/ALBUM").c_str(), 0755);
    mkdir((root + u8"/Новая папка").c_str(), 0755);
    for (const auto &file : files) {
        FILE *out = fopen((root + "/" + file[0]).c_str(), "wb");
        ASSERT_NE(nullptr, out) << file[0];
        fputs(file[1], out);
        fclose(out);
    }
}

class Exfat : public testing::Test {
protected:
    void SetUp() override
    {
        StartProgram();
        if (!disk.missing.empty())
            GTEST_SKIP() << "no exFAT disk: " << disk.missing;
    }
    // FIX through the menu over a folder, the counter at a given start.
    void Fix(const std::string &winPath, int counter)
    {
        TextCopy(workDir, sizeof workDir, winPath.c_str());
        renameCounter = counter;
        BoxWatch watch;
        FixThroughMenu(watch);
        EXPECT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    }
    ExfatDisk disk;
};

TEST_F(Exfat, FixGivesTheNamesItGivesOnExt4AndUndoBringsThemBack)
{
    TestFolder ext4;
    MakeMixedNames(ext4.unixPath);
    MakeMixedNames(disk.mount);
    std::map<std::string, std::string> before = FolderSnapshot(disk.mount);
    int counter = renameCounter;

    Fix(ext4.winPath, counter);
    Fix(disk.winPath, counter);

    EXPECT_EQ(FolderSnapshot(ext4.unixPath), FolderSnapshot(disk.mount));
    EXPECT_EQ("case only", ext4.ReadFile("img_0001.jpg"));
    EXPECT_EQ((std::vector<std::string>{"album", "data.txt", "dsc_0002.jpg", "foto.jpg", "foto.jpg" + std::to_string(counter),
                                        "foto_otpusk__1_.jpg", "img_0001.jpg", "novaj_papka", "ulj_elka.txt"}),
              ext4.List());

    BoxWatch watch;
    SendMessageA(mainWindow, WM_COMMAND, IDM_UNDO_FIX, 0);
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_NE(std::string::npos, watch.seen[0].text.find("Восстановлено имён: 7")) << AnsiToUtf8(watch.seen[0].text);
    EXPECT_EQ(before, FolderSnapshot(disk.mount));
}

TEST_F(Exfat, ThumbnailJobCompletesWithItsLog)
{
    ASSERT_TRUE(SaveTestImage(disk.mount + "/IMG_0001.JPG", FIF_JPEG, 300, 200));
    ASSERT_TRUE(SaveTestImage(disk.mount + u8"/Фото.jpg", FIF_JPEG, 200, 300));
    TextCopy(workDir, sizeof workDir, disk.winPath.c_str());
    BoxWatch watch;
    watch.Then(Steps([&](HWND dialog) {
        watch.Then(Press(IDC_REC_DEFAULT));
        PressNow(dialog, IDC_RUN);
    }));

    SendMessageA(mainWindow, WM_COMMAND, IDM_THUMBNAILS, 0);

    EXPECT_EQ(2u, watch.seen.size()) << Describe(watch.seen);
    std::string log = disk.folder.ReadFile("mnt/imagelog.sql");
    EXPECT_EQ(2, std::count(log.begin(), log.end(), '\n')) << log;
    EXPECT_EQ((std::vector<std::string>{"IMG_0001_small.jpg", u8"Фото_small.jpg"}), disk.folder.List("mnt/thumbnails"));
}
