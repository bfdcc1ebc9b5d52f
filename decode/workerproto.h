// What the job and a decoding worker say to each other over a pair of pipes. The job
// sends one request per image; the worker answers with frames: BEGIN when it starts on
// the image, one MESSAGE for every report of the image library, in order, and RESULT at
// the end. A worker that dies leaves the frames it managed to send, so the job knows
// which image it died on and what the library had said until then. A worker that cannot
// put itself under its memory ceiling sends REFUSED instead of any answer, and ends.
#ifndef FOTOBATCH_WORKERPROTO_H
#define FOTOBATCH_WORKERPROTO_H

#include <windows.h>
#include "../base/imagelib.h"
#include "sourcefile.h"

enum { WORKER_FRAME_BEGIN = 1, WORKER_FRAME_MESSAGE = 2, WORKER_FRAME_RESULT = 3, WORKER_FRAME_REFUSED = 4 };

// Longest file path a request carries (the job's directory plus an entry's name).
#define WORKER_PATH_CAP (MAX_PATH * 2)
// Longest frame the job accepts at all: a thumbnail of the largest size the job allows
// (65536 pixels on a side, 128 bits per pixel) could not come over, but then nothing
// that large could be held by the job either.
#define WORKER_FRAME_MAX (1024u * 1024u * 1024u)
// Longest MESSAGE: the library's reports are a line or two.
#define WORKER_MESSAGE_MAX (64u * 1024u)
// Room in a RESULT for what travels with the pixels: palette, profile and metadata.
#define WORKER_TAGS_MAX (16u * 1024u * 1024u)

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
    int identified;            // the worker opened the file: which file it was
    SourceIdentity identity;
};

// The longest RESULT payload for a thumbnail of this size: its pixels at the widest pixel
// there is and what travels with them. A worker's frame that declares more is not read.
DWORD WorkerResultMax(int thumbSize);

int SendWorkerRequest(HANDLE pipe, const WorkerRequest *request);
int ReceiveWorkerRequest(HANDLE pipe, WorkerRequest *request);
int SendWorkerFrame(HANDLE pipe, DWORD kind, DWORD id, const void *head, DWORD headLength,
                    const void *body, DWORD bodyLength);
// A frame's payload of the length its head declares, in a HeapAlloc'd block that grows
// only as the bytes arrive, so that a length no worker sends costs nothing until its
// bytes come. NULL when the pipe ends first or memory runs out.
BYTE *ReceiveFramePayload(HANDLE pipe, DWORD length);

// The thumbnail as bytes: pixel layout, palette, transparency, background, resolution,
// ICC profile, metadata and pixels, all that the saved file can depend on. PackBitmap
// returns a HeapAlloc'd block (NULL when out of memory or longer than maxLength);
// UnpackBitmap returns NULL for anything malformed.
BYTE *PackBitmap(FIBITMAP *bitmap, DWORD maxLength, DWORD *length);
FIBITMAP *UnpackBitmap(const BYTE *data, DWORD length);

#endif
