// Numbers stored in a file's bytes, in either byte order: the header size readers and the
// Exif orientation both read them here.
#ifndef FOTOBATCH_BYTEORDER_H
#define FOTOBATCH_BYTEORDER_H

#include <windows.h>

// An unsigned number of 1 to 4 bytes at p, most significant byte first when bigEndian.
static inline DWORD OrderedNumber(const BYTE *p, int bytes, int bigEndian)
{
    DWORD value = 0;
    for (int i = 0; i < bytes; i++)
        value |= (DWORD)p[bigEndian ? i : bytes - 1 - i] << (8 * (bytes - 1 - i));
    return value;
}

static inline DWORD Be16(const BYTE *p) { return OrderedNumber(p, 2, 1); }
static inline DWORD Be32(const BYTE *p) { return OrderedNumber(p, 4, 1); }
static inline DWORD Le16(const BYTE *p) { return OrderedNumber(p, 2, 0); }
static inline DWORD Le24(const BYTE *p) { return OrderedNumber(p, 3, 0); }
static inline DWORD Le32(const BYTE *p) { return OrderedNumber(p, 4, 0); }

#endif
