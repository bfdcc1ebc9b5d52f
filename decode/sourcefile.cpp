#include "sourcefile.h"
#include "../base/base.h"
#include "../base/textbuf.h"

#include <string.h>
#ifdef __WINE__
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#define SECONDS_1601_TO_1970 11644473600ull

#ifdef __WINE__
// Named pipes, devices and sockets are never images, and opening one may block for ever.
static int IsSpecialMode(mode_t mode)
{
    return S_ISFIFO(mode) || S_ISCHR(mode) || S_ISBLK(mode) || S_ISSOCK(mode);
}

static void IdentityFromStat(const struct stat *info, SourceIdentity *identity)
{
    unsigned long long ticks = ((unsigned long long)info->st_mtim.tv_sec + SECONDS_1601_TO_1970) * 10000000ull
                               + (unsigned long long)info->st_mtim.tv_nsec / 100;
    identity->volume = (DWORD)info->st_dev;
    identity->indexHigh = (DWORD)((unsigned long long)info->st_ino >> 32);
    identity->indexLow = (DWORD)info->st_ino;
    identity->size = (unsigned long long)info->st_size;
    identity->lastWrite.dwHighDateTime = (DWORD)(ticks >> 32);
    identity->lastWrite.dwLowDateTime = (DWORD)ticks;
}

// FreeImage is a native library here: it is told the Unix path. A special file is refused
// by its name first, unopened; the open does not wait on one put in its place meanwhile,
// which the open file then shows.
int SourceOpen(SourceFile *source, const char *fileName)
{
    memset(source, 0, sizeof *source);
    source->fd = -1;
    struct stat info;
    if (!UnixFileName(fileName, source->libraryPath, sizeof source->libraryPath))
        return SOURCE_REFUSED;
    if (stat(source->libraryPath, &info) == 0 && IsSpecialMode(info.st_mode))
        return SOURCE_REFUSED;
    int fd = open(source->libraryPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return SOURCE_UNOPENED;
    if (fstat(fd, &info) != 0 || IsSpecialMode(info.st_mode)) {
        close(fd);
        return SOURCE_REFUSED;
    }
    source->fd = fd;
    IdentityFromStat(&info, &source->identity);
    return SOURCE_OPENED;
}

void SourceClose(SourceFile *source)
{
    if (source->fd >= 0)
        close(source->fd);
    source->fd = -1;
}

DWORD SourceReadAt(SourceFile *source, unsigned long long offset, void *out, DWORD count)
{
    DWORD got = 0;
    while (got < count) {
        ssize_t read = pread(source->fd, (BYTE *)out + got, count - got, (off_t)(offset + got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            break;
        got += (DWORD)read;
    }
    return got;
}
#else
// Devices are refused by their attributes, unopened, and by the open handle's type.
int SourceOpen(SourceFile *source, const char *fileName)
{
    memset(source, 0, sizeof *source);
    source->file = INVALID_HANDLE_VALUE;
    if (!TextCopy(source->libraryPath, sizeof source->libraryPath, fileName))
        return SOURCE_REFUSED;
    DWORD attributes = GetFileAttributesA(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return SOURCE_REFUSED;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return SOURCE_UNOPENED;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) {
        CloseHandle(file);
        return SOURCE_REFUSED;
    }
    source->file = file;
    source->identity.volume = info.dwVolumeSerialNumber;
    source->identity.indexHigh = info.nFileIndexHigh;
    source->identity.indexLow = info.nFileIndexLow;
    source->identity.size = ((unsigned long long)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    source->identity.lastWrite = info.ftLastWriteTime;
    return SOURCE_OPENED;
}

void SourceClose(SourceFile *source)
{
    if (source->file != INVALID_HANDLE_VALUE)
        CloseHandle(source->file);
    source->file = INVALID_HANDLE_VALUE;
}

DWORD SourceReadAt(SourceFile *source, unsigned long long offset, void *out, DWORD count)
{
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    if (!SetFilePointerEx(source->file, at, NULL, FILE_BEGIN))
        return 0;
    DWORD got = 0;
    while (got < count) {
        DWORD read = 0;
        if (!ReadFile(source->file, (BYTE *)out + got, count - got, &read, NULL) || read == 0)
            break;
        got += read;
    }
    return got;
}
#endif

// The library reads as through the C library's fread, fseek and ftell, which its own
// FreeImage_Load would use: whole items counted, a short last item's bytes consumed, a
// seek past the end allowed. Small reads are served from a buffer read ahead.
static unsigned DLL_CALLCONV ReadForLibrary(void *buffer, unsigned size, unsigned count, fi_handle handle)
{
    SourceFile *source = (SourceFile *)handle;
    unsigned long long wanted = (unsigned long long)size * count, got = 0;
    BYTE *out = (BYTE *)buffer;
    while (got < wanted) {
        unsigned long long start = source->bufferStart, end = start + source->bufferLength;
        if (source->position >= start && source->position < end) {
            unsigned long long take = end - source->position < wanted - got ? end - source->position : wanted - got;
            memcpy(out + got, source->buffer + (source->position - start), (size_t)take);
            got += take;
            source->position += take;
            continue;
        }
        unsigned long long left = wanted - got;
        if (left >= SOURCE_BUFFER_BYTES) {
            DWORD direct = SourceReadAt(source, source->position, out + got, left > 0x40000000ull ? 0x40000000u : (DWORD)left);
            if (direct == 0)
                break;
            got += direct;
            source->position += direct;
            continue;
        }
        source->bufferStart = source->position;
        source->bufferLength = SourceReadAt(source, source->position, source->buffer, SOURCE_BUFFER_BYTES);
        if (source->bufferLength == 0)
            break;
    }
    return size > 0 ? (unsigned)(got / size) : 0;
}

static unsigned DLL_CALLCONV WriteForLibrary(void *buffer, unsigned size, unsigned count, fi_handle handle)
{
    (void)buffer;
    (void)size;
    (void)count;
    (void)handle;
    return 0;  // a source is only read
}

static int DLL_CALLCONV SeekForLibrary(fi_handle handle, long offset, int origin)
{
    SourceFile *source = (SourceFile *)handle;
    long long base = origin == SEEK_SET ? 0
                   : origin == SEEK_CUR ? (long long)source->position
                   : origin == SEEK_END ? (long long)source->identity.size : -1;
    if (base < 0 || base + offset < 0)
        return -1;
    source->position = (unsigned long long)(base + offset);
    return 0;
}

static long DLL_CALLCONV TellForLibrary(fi_handle handle)
{
    return (long)((SourceFile *)handle)->position;
}

void SourceImageIO(SourceFile *source, FreeImageIO *io)
{
    source->position = 0;
    io->read_proc = ReadForLibrary;
    io->write_proc = WriteForLibrary;
    io->seek_proc = SeekForLibrary;
    io->tell_proc = TellForLibrary;
}

int SourceStillMatches(const char *fileName, const SourceIdentity *identity)
{
    SourceFile *source = (SourceFile *)HeapAlloc(GetProcessHeap(), 0, sizeof *source);
    if (source == NULL)
        return 0;
    int same = SourceOpen(source, fileName) == SOURCE_OPENED;
    same = same && source->identity.volume == identity->volume && source->identity.indexHigh == identity->indexHigh
           && source->identity.indexLow == identity->indexLow && source->identity.size == identity->size
           && CompareFileTime(&source->identity.lastWrite, &identity->lastWrite) == 0;
    SourceClose(source);
    HeapFree(GetProcessHeap(), 0, source);
    return same;
}
