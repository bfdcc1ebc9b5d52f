#include "worker.h"
#include "decodeimage.h"
#include "workerproto.h"
#include "../base/textbuf.h"

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
    DWORD length = (DWORD)strnlen(message, WORKER_MESSAGE_MAX - sizeof head);
    SendWorkerFrame(answerPipe, WORKER_FRAME_MESSAGE, request->id, &head, sizeof head, message, length);
}

// A crash in the library ends this process quietly: no crash dialog, no debugger.
static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *exception)
{
    (void)exception;
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int AnswerRequest(HANDLE answers, const WorkerRequest *request)
{
    answerPipe = answers;
    if (!SendWorkerFrame(answerPipe, WORKER_FRAME_BEGIN, request->id, NULL, 0, NULL, 0))
        return 0;
    DecodeOutcome outcome;
    DecodeImage(request->path, request->thumbSize, request->maxPixels, ReportMessage, (void *)request, &outcome);
    BYTE *packed = NULL;
    DWORD packedLength = 0;
    if (outcome.thumbnail != NULL) {
        packed = PackBitmap(outcome.thumbnail, WorkerResultMax(request->thumbSize) - sizeof(WorkerResultHead),
                            &packedLength);
        FreeImage_Unload(outcome.thumbnail);
    }
    WorkerResultHead result;
    memset(&result, 0, sizeof result);
    result.loaded = outcome.loaded;
    result.width = outcome.width;
    result.height = outcome.height;
    result.hasThumb = packed != NULL;
    result.identified = outcome.identified;
    result.identity = outcome.identity;
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
// 0 when the system refused.
static int LimitMemory(unsigned long long bytes)
{
#ifdef __WINE__
    struct rlimit limit;
    limit.rlim_cur = bytes;
    limit.rlim_max = bytes;
    return setrlimit(RLIMIT_DATA, &limit) == 0;
#else
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (job == NULL)
        return 0;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit;
    memset(&limit, 0, sizeof limit);
    limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limit.ProcessMemoryLimit = (SIZE_T)bytes;
    return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limit, sizeof limit)
           && AssignProcessToJobObject(job, GetCurrentProcess());
#endif
}

void PrepareWorkerProcess(void)
{
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
    RouteImageLibraryMessages(NULL);
}

int RunDecodingWorker(unsigned long long megabytes)
{
    HANDLE requests = GetStdHandle(STD_INPUT_HANDLE);
    answerPipe = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!LimitMemory(megabytes * 1024 * 1024)) {
        // unguarded, an image could take the whole machine's memory: the job decodes itself
        static const char reason[] = "the memory ceiling could not be set";
        SendWorkerFrame(answerPipe, WORKER_FRAME_REFUSED, 0, NULL, 0, reason, sizeof reason - 1);
        return 5;
    }
    PrepareWorkerProcess();
    WorkerRequest request;
    // the job closes its end of the pipe when it has no more work
    while (ReceiveWorkerRequest(requests, &request)) {
        if (!AnswerRequest(answerPipe, &request))
            break;
    }
    return 0;
}
