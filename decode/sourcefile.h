// One source image file, opened once for all that is done with it: the refusal of special
// files, the image library's sniff of its format, the header size check and the load all
// read this one open file. A file put in place of another under the same name between
// the listing and the load is therefore either the file checked and loaded, or neither.
#ifndef FOTOBATCH_SOURCEFILE_H
#define FOTOBATCH_SOURCEFILE_H

#include <windows.h>
#include "../base/imagelib.h"

#define SOURCE_BUFFER_BYTES (32 * 1024)
#define SOURCE_PATH_CAP (MAX_PATH * 4)

// Which file a source was, as the system tells it of the open file: the volume and the
// file's index on it (under Winelib the device and inode numbers), its size and the time
// it was last written. Two opens of one name that give the same identity read the same
// file, unchanged as far as the system can tell.
struct SourceIdentity {
    DWORD volume;
    DWORD indexHigh, indexLow;
    unsigned long long size;
    FILETIME lastWrite;
};

struct SourceFile {
#ifdef __WINE__
    int fd;
#else
    HANDLE file;
#endif
    char libraryPath[SOURCE_PATH_CAP];  // the name the library knows it by (a Unix path under Winelib)
    SourceIdentity identity;
    unsigned long long position;        // where the library reads next
    unsigned long long bufferStart;     // the bytes last read ahead for the library
    DWORD bufferLength;
    BYTE buffer[SOURCE_BUFFER_BYTES];
};

// What opening a source gave: the open file; a name refused unopened (a named pipe, a
// device or a socket, whose open may block for ever, or a name that cannot be made into
// a path); or a file that could not be opened (gone, unreadable), whose libraryPath is set.
enum { SOURCE_OPENED = 1, SOURCE_REFUSED = 0, SOURCE_UNOPENED = -1 };

int SourceOpen(SourceFile *source, const char *fileName);
void SourceClose(SourceFile *source);
// Up to count bytes from offset; how many there were (0 at the end or on an error).
DWORD SourceReadAt(SourceFile *source, unsigned long long offset, void *out, DWORD count);
// The library's reading of the source, from its start; the handle to give with it is
// the source itself.
void SourceImageIO(SourceFile *source, FreeImageIO *io);
// 1 when the name still opens the file of that identity, unchanged.
int SourceStillMatches(const char *fileName, const SourceIdentity *identity);

#endif
