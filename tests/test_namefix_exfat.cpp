// FIX, its undo and the thumbnail job on a real exFAT disk through FUSE (exfat-fuse on a
// loop device), as on a memory card: the disk refuses RENAME_NOREPLACE and finds names
// whatever their letter case. Skipped, saying why, where the machine has no FUSE or no
// loop devices.
#include "gtest_win.h"
#include "boxwatch.h"
#include "dialogs.h"
#include "fixture.h"
#include "images.h"
#include "jobs.h"

#include "base/state.h"
#include "namefix/namefix.h"
#include "res/resource.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

// A 64 MB exFAT image in a test folder, on a loop device, mounted through FUSE at mnt/.
struct ExfatDisk {
    TestFolder folder;
    std::string mount = folder.Path("mnt"), image = folder.Path("disk.img"), loop, winPath, missing;
    ExfatDisk()
    {
        mkdir(mount.c_str(), 0755);
        winPath = WinPathOf(mount);
        missing = Mount();
    }
    // Makes the disk and mounts it: "" when mounted, else what is missing.
    std::string Mount()
    {
        if (access("/dev/fuse", R_OK | W_OK) != 0)
            return "this machine has no FUSE (/dev/fuse)";
        if (system(("truncate -s 64M " + image + " && mkfs.exfat " + image + " >/dev/null").c_str()) != 0)
            return "mkfs.exfat (exfatprogs) is missing or failed";
        if (system(("losetup -f --show " + image + " >" + folder.Path("loop") + " 2>/dev/null").c_str()) != 0)
            return "this machine has no free loop device";
        loop = folder.ReadFile("loop");
        loop.resize(loop.find('\n'));
        if (system(("mount.exfat-fuse " + loop + " " + mount + " >/dev/null 2>&1").c_str()) != 0)
            return "mount.exfat-fuse (exfat-fuse) is missing or failed";
        return "";
    }
    ~ExfatDisk()
    {
        SetCurrentDirectoryA("C:\\");
        if (!loop.empty())
            system(("umount " + mount + " 2>/dev/null; losetup -d " + loop).c_str());
    }
};

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
    MakeNamesFixChanges(ext4, "");
    MakeNamesFixChanges(disk.folder, "mnt/");
    std::map<std::string, std::string> before = FolderSnapshot(disk.mount);
    int counter = renameCounter;

    Fix(ext4.winPath, counter);
    Fix(disk.winPath, counter);

    EXPECT_EQ(FolderSnapshot(ext4.unixPath), FolderSnapshot(disk.mount));
    EXPECT_EQ("case only", ext4.ReadFile("img_0001.jpg"));
    EXPECT_EQ((std::vector<std::string>{"album", "data.txt", "dsc_0002.jpg", "foto.jpg", "foto.jpg" + std::to_string(counter),
                                        "foto_otpusk__1_.jpg", "img_0001.jpg", "novaj_papka", "ulj_elka.txt"}),
              ext4.List());

    std::string undone = UndoFixThroughMenu();
    EXPECT_NE(std::string::npos, undone.find("Восстановлено имён: 7")) << AnsiToUtf8(undone);
    EXPECT_EQ(before, FolderSnapshot(disk.mount));
}

TEST_F(Exfat, ThumbnailJobCompletesWithItsLog)
{
    ASSERT_TRUE(SaveTestImage(disk.mount + "/IMG_0001.JPG", FIF_JPEG, 300, 200));
    ASSERT_TRUE(SaveTestImage(disk.mount + u8"/Фото.jpg", FIF_JPEG, 200, 300));
    BoxWatch watch;
    watch.Then(Press(IDC_REC_DEFAULT));

    RunThumbnailJob(disk.winPath);

    EXPECT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    std::string log = disk.folder.ReadFile("mnt/imagelog.sql");
    EXPECT_EQ(2, std::count(log.begin(), log.end(), '\n')) << log;
    EXPECT_EQ((std::vector<std::string>{"IMG_0001_small.jpg", u8"Фото_small.jpg"}), disk.folder.List("mnt/thumbnails"));
}
