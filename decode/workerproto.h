// What the job and a decoding worker say to each other over a pair of pipes. The job
// sends one request per image; the worker answers with frames: BEGIN when it starts on
// the image, one MESSAGE for every report of the image library, in order, and RESULT at
// the end. A worker that dies leaves the frames it managed to send, so the job knows
// which image it died on and what the library had said until then.
#ifndef FOTOBATCH_WORKERPROTO_H
#define FOTOBATCH_WORKERPROTO_H

#include <windows.h>
#include "../base/imagelib.h"

enum { WORKER_FRAME_BEGIN = 1, WORKER_FRAME_MESSAGE = 2, WORKER_FRAME_RESULT = 3 };

// Longest file path a request carries (the job's directory plus an entry's name).
#define WORKER_PATH_CAP (MAX_PATH * 2)
// Longest frame the job accepts: a thumbnail of the largest size the job allows
// (65536 pixels on a side, 128 bits per pixel) could not come over, but then nothing
// that large could be held by the job either.
#define WORKER_FRAME_MAX (1024u * 1024u * 1024u)

struct WorkerRequest {
    DWORD id;
    int thumbSize;
    unsigned long long maxPixels;  // a source declaring more is refused before decoding
    char path[WORKER_PATH_CAP];    // absolute Win32 path of the image
};

struct WorkerFrameHead {
    DWORD kind;
    DWORD id;
    DWORD length;  // bytes of payload that follow
};

// Payload of a MESSAGE frame: this head, then the text (no terminator).
struct WorkerMessageHead {
    int format;
};

// Payload of a RESULT frame: this head, then the packed thumbnail when hasThumb is set.
struct WorkerResultHead {
    int loaded;
    DWORD width;   // of the source, not of the thumbnail
    DWORD height;
    int hasThumb;
};

int PipeReadAll(HANDLE pipe, void *data, DWORD length);

int SendWorkerRequest(HANDLE pipe, const WorkerRequest *request);
int ReceiveWorkerRequest(HANDLE pipe, WorkerRequest *request);
int SendWorkerFrame(HANDLE pipe, DWORD kind, DWORD id, const void *head, DWORD headLength,
                    const void *body, DWORD bodyLength);

// The thumbnail as bytes: pixel layout, palette, transparency, background, resolution,
// ICC profile, metadata and pixels, all that the saved file can depend on. PackBitmap
// returns a HeapAlloc'd block (NULL when out of memory); UnpackBitmap returns NULL for
// anything malformed.
BYTE *PackBitmap(FIBITMAP *bitmap, DWORD *length);
FIBITMAP *UnpackBitmap(const BYTE *data, DWORD length);

#endif
