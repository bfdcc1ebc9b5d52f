// A small tmpfs mounted on a folder inside a test's own folder for as long as it lives:
// a disk that fills up, or runs out of entries, when the test wants it to.
#ifndef FOTOBATCH_SMALLDISK_H
#define FOTOBATCH_SMALLDISK_H

#include <string>

class SmallDisk {
public:
    // size as tmpfs takes it ("1m"); entries: how many files and folders it holds, root included
    SmallDisk(const std::string &path, const char *size, int entries = 0);
    ~SmallDisk();
    // Fills the disk to its last page and then gives that many pages back.
    void FillAllBut(int pages);
    unsigned long FreeBytes() const;

    bool mounted = false;
    std::string failure;  // why it is not mounted, for a skip's message

private:
    std::string path;
};

#endif
