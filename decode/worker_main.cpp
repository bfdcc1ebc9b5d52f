// The decoding worker: a console program that the thumbnail job starts, one per core.
// It reads requests from its standard input and answers on its standard output (see
// workerproto.h). Decoding runs here, not in the job, so that an image that crashes,
// hangs or exhausts the image library costs only this process and that one image.
#include "decoder.h"
#include "decodeimage.h"
#include "workerproto.h"

#include <stdlib.h>
#include <string.h>
#ifdef __WINE__
#include <malloc.h>
#include <sys/resource.h>
#endif

static HANDLE answerPipe;

// Passes every report of the image library on to the job at once, so that even the
// reports made just before a crash reach the user.
static void ReportMessage(void *context, FREE_IMAGE_FORMAT format, const char *message)
{
    const WorkerRequest *request = (const WorkerRequest *)context;
    WorkerMessageHead head = {(int)format};
    SendWorkerFrame(answerPipe, WORKER_FRAME_MESSAGE, request->id, &head, sizeof head, message,
                    (DWORD)strlen(message));
}

// A crash in the library ends this process quietly: no crash dialog, no debugger.
static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *exception)
{
    (void)exception;
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Answers one request: BEGIN, the library's reports as they come, then RESULT.
static int AnswerRequest(const WorkerRequest *request)
{
    if (!SendWorkerFrame(answerPipe, WORKER_FRAME_BEGIN, request->id, NULL, 0, NULL, 0))
        return 0;
    DecodeOutcome outcome;
    DecodeImage(request->path, request->thumbSize, request->maxPixels, ReportMessage, (void *)request, &outcome);
    BYTE *packed = NULL;
    DWORD packedLength = 0;
    if (outcome.thumbnail != NULL) {
        packed = PackBitmap(outcome.thumbnail, &packedLength);
        FreeImage_Unload(outcome.thumbnail);
    }
    WorkerResultHead result = {outcome.loaded, outcome.width, outcome.height, packed != NULL};
    int sent = SendWorkerFrame(answerPipe, WORKER_FRAME_RESULT, request->id, &result, sizeof result,
                               packed, packedLength);
    if (packed != NULL)
        HeapFree(GetProcessHeap(), 0, packed);
    return sent;
}

// Puts this process under its memory ceiling, which the system enforces: an allocation
// past it fails, so an image that needs more costs its entry only. Under Winelib that is
// RLIMIT_DATA, which counts every private writable mapping (heap, Wine's committed memory)
// but not the address space Wine reserves at start (some 1.7 GB, which rules out
// RLIMIT_AS). On Windows a job object with a per-process limit holds the worker alone.
static void LimitMemory(unsigned long long bytes)
{
#ifdef __WINE__
    struct rlimit limit;
    limit.rlim_cur = bytes;
    limit.rlim_max = bytes;
    setrlimit(RLIMIT_DATA, &limit);
#else
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (job == NULL)
        return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit;
    memset(&limit, 0, sizeof limit);
    limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limit.ProcessMemoryLimit = (SIZE_T)bytes;
    if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limit, sizeof limit))
        AssignProcessToJobObject(job, GetCurrentProcess());
#endif
}

int main(int argc, char **argv)
{
    // the ceiling in megabytes is the one argument; a worker started without it keeps the default
    unsigned long megabytes = argc > 1 ? strtoul(argv[1], NULL, 10) : 0;
    LimitMemory((unsigned long long)(megabytes > 0 ? megabytes : DECODER_MEMORY_MB) * 1024 * 1024);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
#ifdef __WINE__
    // Decoding allocates and frees a few large blocks per image; glibc would map and
    // unmap each of them, the kernel zeroing fresh pages every time. The threshold for
    // that cannot be raised past 32 MB, less than one 12-megapixel image, so mapping is
    // switched off and freed blocks stay in the heap for the next image: a quarter
    // faster on full decodes, and the worker's peak stays what it was.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
    HANDLE requests = GetStdHandle(STD_INPUT_HANDLE);
    answerPipe = GetStdHandle(STD_OUTPUT_HANDLE);
    RouteImageLibraryMessages(NULL);
    WorkerRequest request;
    // the job closes its end of the pipe when it has no more work
    while (ReceiveWorkerRequest(requests, &request)) {
        if (!AnswerRequest(&request))
            break;
    }
    return 0;
}
