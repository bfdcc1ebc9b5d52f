#include "base.h"

// Writes the whole block to a file or a pipe, however the system splits the write. 0 on a
// failed write or one that takes nothing, which is how a full disk or a closed pipe shows.
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
