// The thumbnail job's decoding workers: one process per core, each fed a few of the
// upcoming names of the directory search, so that decoding goes on while the user
// answers the description dialog. The job asks for the entries in its own order and
// gets, for each, what the in-process load would have given; everything that reaches
// the user (message boxes, rows, files) still happens in the job, in the same order.
#ifndef FOTOBATCH_WORKERPOOL_H
#define FOTOBATCH_WORKERPOOL_H

#include <windows.h>
#include "../app/imagelib.h"

// A source whose header declares more pixels than this is not decoded.
#define WORKER_MAX_PIXELS 256000000ull
// A worker that spends longer than this on one image is ended.
#define WORKER_WATCHDOG_MS 60000
// The memory a worker may hold, enforced by the system: an image that needs more fails to
// load. A 256-megapixel image of 32 bits per pixel (1 GB) and its thumbnail fit.
#define WORKER_MEMORY_MB 1536

// Stands in for GenericLoader (fileName, 0) on the job's thread. Shows the library's
// reports of the load, then returns an image that carries the source's width and height
// (no pixels), or NULL when the image did not load, crashed, hung or was too large.
FIBITMAP *WorkerPoolLoad(const char *fileName);
// Stands in for FreeImage_MakeThumbnail on what WorkerPoolLoad returned: shows the
// library's reports made while scaling and returns the worker's thumbnail.
FIBITMAP *WorkerPoolThumbnail(FIBITMAP *image, int size, BOOL convert);
// Ends the workers and drops the work done ahead; the job calls it when it ends.
void WorkerPoolEnd(void);

// Settings for the tests: the worker program (empty: beside this program; it is started
// with the memory ceiling in megabytes as its one argument), the limits,
// and how many worker processes were started since the pool began (replacements too).
extern char workerProgram[MAX_PATH];
extern unsigned long long workerMaxPixels;
extern DWORD workerWatchdogMs;
extern DWORD workerMemoryMb;
int WorkerPoolStarted(void);

#endif
