#include "base.h"

// Whole blocks through a file or a pipe, however the system splits them: the workers'
// pipes use both halves, the thumbnail files the writing one.

// Reads exactly length bytes; 0 at the end of the file or pipe, or on an error.
int ReadAll(HANDLE handle, void *data, DWORD length)
{
    BYTE *next = (BYTE *)data;
    while (length > 0) {
        DWORD got = 0;
        if (!ReadFile(handle, next, length, &got, NULL) || got == 0)
            return 0;
        next += got;
        length -= got;
    }
    return 1;
}

// Writes the whole block. 0 on a failed write or one that takes nothing, which is how a
// full disk or a closed pipe shows.
int WriteAll(HANDLE handle, const void *data, DWORD length)
{
    const BYTE *next = (const BYTE *)data;
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, next, length, &written, NULL) || written == 0)
            return 0;
        next += written;
        length -= written;
    }
    return 1;
}
