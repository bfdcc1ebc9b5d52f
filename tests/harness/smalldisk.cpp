#include "smalldisk.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

SmallDisk::SmallDisk(const std::string &path, const char *size, int entries) : path(path)
{
    mkdir(path.c_str(), 0755);
    std::string options = std::string("size=") + size;
    if (entries > 0)
        options += ",nr_inodes=" + std::to_string(entries);
    mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted)
        failure = std::string("cannot mount a tmpfs here: ") + strerror(errno);
}

SmallDisk::~SmallDisk()
{
    if (mounted)
        umount2(path.c_str(), MNT_DETACH);
}

void SmallDisk::FillAllBut(int pages)
{
    int fd = open((path + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char page[4096] = {0};
    off_t size = 0;
    while (write(fd, page, sizeof page) == (ssize_t)sizeof page)
        size += sizeof page;
    if (ftruncate(fd, size - (off_t)pages * 4096) != 0)
        failure = "cannot give pages back";
    close(fd);
}

unsigned long SmallDisk::FreeBytes() const
{
    struct statvfs info;
    return statvfs(path.c_str(), &info) == 0 ? info.f_bavail * info.f_frsize : 0;
}
