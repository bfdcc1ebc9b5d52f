// The thumbnail job's decoder: lists the working directory once and gives back, entry by
// entry in the listing's order, what loading the entry and scaling it made. The decoding
// is done by worker processes, one per core, started in the background before the first
// job and kept for the next; they decode ahead while the job waits for the user. A file
// that crashes, hangs or exhausts the image library costs its own entry only; a worker
// that never answers, stalls, or sends what no worker sends costs the entries it held and
// is replaced a few times at most. When no worker is left, or none can be started or put
// under its memory ceiling, the entries are decoded in this process, one at a time.
#ifndef FOTOBATCH_DECODER_H
#define FOTOBATCH_DECODER_H

#include <windows.h>
#include "../base/imagelib.h"
#include "sourcefile.h"

// A source whose header declares more pixels than this is not decoded.
#define DECODER_MAX_PIXELS 256000000ull
// A worker that has not answered a request this long after it was sent (or after the
// request before it was answered) is ended. FOTOBATCH_WATCHDOG_SECONDS in the
// environment, when it holds a number of seconds, is taken instead.
#define DECODER_WATCHDOG_MS 60000
// The memory a worker may hold, enforced by the system: an image that needs more fails to
// load. A 256-megapixel image of 32 bits per pixel (1 GB) and its thumbnail fit.
#define DECODER_MEMORY_MB 1536
// Longest path of an entry (the job's directory and the entry's name).
#define DECODER_PATH_CAP (MAX_PATH * 2)

// What the decoder made of one listed entry.
struct DecodedEntry {
    WIN32_FIND_DATAA find;    // the entry as the directory listing gave it
    char path[DECODER_PATH_CAP];  // its full path, taken when it was listed
    int loaded;               // the image library loaded it
    DWORD width, height;      // the source's size as displayed (turned as its Exif says), when loaded
    FIBITMAP *thumbnail;      // its thumbnail, or NULL; the caller unloads it
    BYTE *messages;           // the library's reports while decoding, see DecodedMessage
    DWORD messagesLength;
    int identified;           // the file was opened for decoding; identity tells which file
    SourceIdentity identity;  // and what size and last-write time it had then
};

// Starts the workers from a background thread, so that nobody waits for them; quick when
// they run already. Called when the program starts.
void DecoderStartWorkers(void);
// Lists the current directory with the mask for a job that makes thumbnails of the given
// size. 0 when the listing finds nothing (GetLastError tells why); then no entry follows.
int DecoderBegin(const char *mask, int thumbSize);
// The next listed entry, decoded; 0 after the last. The entry's thumbnail and messages
// are the caller's until DecoderRelease.
int DecoderNext(DecodedEntry *entry);
// The index-th report of the library about an entry; 0 past the last.
int DecodedMessage(const DecodedEntry *entry, int index, FREE_IMAGE_FORMAT *format, char *text, size_t cap);
// Frees what DecoderNext handed over.
void DecoderRelease(DecodedEntry *entry);
// Ends a job: the listing is closed, work done ahead dropped; the workers stay.
void DecoderEnd(void);
// Ends the workers; the program calls it when it exits.
void DecoderShutdown(void);

// 1 when the entry's path still opens the very file that was decoded, of the same size
// and last-write time; 0 when it is gone, replaced or changed since (or was never opened).
int DecoderEntryUnchanged(const DecodedEntry *entry);
// Decodes the entry again, in this process, now: its size, thumbnail, reports and
// identity are replaced by what the file gives now.
void DecoderDecodeAgain(DecodedEntry *entry);

#endif
