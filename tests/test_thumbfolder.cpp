// A thumbnails folder that cannot be made, on a disk with no room for one more entry: the
// user is told which folder, and the job stops there, before it asks about any image.
#include "gtest_win.h"
#include "boxwatch.h"
#include "fixture.h"
#include "images.h"
#include "jobs.h"
#include "smalldisk.h"

TEST(ThumbnailFolder, ThatCannotBeMadeIsNamedAndStopsTheJob)
{
    StartProgram();
    TestFolder base;
    // entries for the disk's root, the photo and the log, none for the thumbnails folder
    SmallDisk disk(base.Path("disk"), "1m", 3);
    if (!disk.mounted)
        GTEST_SKIP() << disk.failure;
    ASSERT_TRUE(SaveTestImage(base.Path("disk/photo.jpg"), FIF_JPEG, 64, 48));
    const std::string folder = base.winPath + "\\disk";
    BoxWatch watch;
    RunThumbnailJob(folder);
    ASSERT_EQ(1u, watch.seen.size()) << Describe(watch.seen);
    EXPECT_TRUE(watch.seen[0].messageBox);
    EXPECT_EQ("Error", watch.seen[0].caption);
    EXPECT_EQ(folder + "\\thumbnails\\", watch.seen[0].text);
    EXPECT_EQ(ICON_WARNING, watch.seen[0].icon);
    EXPECT_EQ((std::vector<std::string>{"imagelog.sql", "photo.jpg"}), base.List("disk"));
    EXPECT_EQ("", base.ReadFile("disk/imagelog.sql"));
}
