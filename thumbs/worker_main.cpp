// The decoding worker: a console program that the thumbnail job starts, one per core.
// It reads requests from its standard input and answers on its standard output (see
// workerproto.h). Decoding runs here, not in the job, so that an image that crashes,
// hangs or exhausts the image library costs only this process and that one image.
#include "thumbs.h"
#include "workerproto.h"
#include "orientation.h"
#include "workerpool.h"
#include "imagesize.h"
#include "../app/state.h"

#include <stdlib.h>
#include <string.h>
#ifdef __WINE__
#include <malloc.h>
#include <sys/resource.h>
#endif

static HANDLE answerPipe;
static DWORD currentId;
static int currentPhase;

// Passes every report of the image library on to the job at once, so that even the
// reports made just before a crash reach the user.
static void ReportMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    WorkerMessageHead head = {currentPhase, (int)format};
    SendWorkerFrame(answerPipe, WORKER_FRAME_MESSAGE, currentId, &head, sizeof head,
                    message, message != NULL ? (DWORD)strlen(message) : 0);
}

// A crash in the library ends this process quietly: no crash dialog, no debugger.
static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *exception)
{
    (void)exception;
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The number in a comment the JPEG decoder leaves when it scaled on load, or 0.
static DWORD OriginalJpegSize(FIBITMAP *image, const char *key)
{
    FITAG *tag = NULL;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, image, key, &tag) || tag == NULL)
        return 0;
    const char *value = (const char *)FreeImage_GetTagValue(tag);
    DWORD length = FreeImage_GetTagLength(tag);
    DWORD number = 0;
    for (DWORD i = 0; i < length && value[i] >= '0' && value[i] <= '9'; i++)
        number = number * 10 + (DWORD)(value[i] - '0');
    return number;
}

// The thumbnail size FreeImage_MakeThumbnail gives for a source of this size: the longer
// side becomes the size, the other keeps the proportion, rounded, at least 1.
static void FullDecodeThumbnailSize(DWORD width, DWORD height, int size, DWORD *thumbWidth, DWORD *thumbHeight)
{
    if (width < (DWORD)size && height < (DWORD)size) {
        *thumbWidth = width;
        *thumbHeight = height;
    } else if (width > height) {
        *thumbWidth = (DWORD)size;
        *thumbHeight = (DWORD)(height * ((double)size / width) + 0.5);
    } else {
        *thumbHeight = (DWORD)size;
        *thumbWidth = (DWORD)(width * ((double)size / height) + 0.5);
    }
    if (*thumbWidth == 0)
        *thumbWidth = 1;
    if (*thumbHeight == 0)
        *thumbHeight = 1;
}

// The thumbnail of a JPEG decoded at 1/2, 1/4 or 1/8 scale. Its size must be the one the
// full decode gives, and the rounding of the smaller decode may differ by a pixel; then
// the scaled image is resampled to exactly that size, as MakeThumbnail itself does.
static FIBITMAP *ScaledJpegThumbnail(FIBITMAP *image, DWORD width, DWORD height, int size)
{
    DWORD wantWidth, wantHeight;
    FullDecodeThumbnailSize(width, height, size, &wantWidth, &wantHeight);
    FIBITMAP *made = FreeImage_MakeThumbnail(image, size, TRUE);
    if (made != NULL && (FreeImage_GetWidth(made) != wantWidth || FreeImage_GetHeight(made) != wantHeight)) {
        FreeImage_Unload(made);
        made = FreeImage_Rescale(image, (int)wantWidth, (int)wantHeight, FILTER_BILINEAR);
        if (made != NULL)
            FreeImage_CloneMetadata(made, image);
    }
    if (made != NULL) {
        // the note about the scaled decode is not the source's and must not reach the file
        FreeImage_SetMetadata(FIMD_COMMENTS, made, "OriginalJPEGWidth", NULL);
        FreeImage_SetMetadata(FIMD_COMMENTS, made, "OriginalJPEGHeight", NULL);
    }
    return made;
}

// Loads one image and makes its thumbnail, as the job would in-process; JPEGs decode
// straight at the smallest scale that still gives the thumbnail all its pixels.
static void DecodeImage(const WorkerRequest *request, WorkerResultHead *result, FIBITMAP **made)
{
    memset(result, 0, sizeof *result);
    *made = NULL;
    FREE_IMAGE_FORMAT format = CheckedImageFormat(request->path, request->maxPixels, ReportMessage);
    if (format == FIF_UNKNOWN)
        return;
    int scaled = format == FIF_JPEG && request->thumbSize > 0 && request->thumbSize <= 65535;
    int flags = scaled ? (int)((unsigned)request->thumbSize << 16) : 0;

    currentPhase = WORKER_PHASE_LOAD;
    FIBITMAP *image = GenericLoader(request->path, flags);
    if (image == NULL)
        return;
    result->loaded = 1;
    result->width = FreeImage_GetWidth(image);
    result->height = FreeImage_GetHeight(image);
    DWORD originalWidth = OriginalJpegSize(image, "OriginalJPEGWidth");
    DWORD originalHeight = OriginalJpegSize(image, "OriginalJPEGHeight");
    scaled = scaled && originalWidth > 0 && originalHeight > 0;
    if (scaled) {
        result->width = originalWidth;
        result->height = originalHeight;
    }

    currentPhase = WORKER_PHASE_THUMBNAIL;
    if (scaled)
        *made = ScaledJpegThumbnail(image, originalWidth, originalHeight, request->thumbSize);
    else
        *made = FreeImage_MakeThumbnail(image, request->thumbSize, TRUE);
    *made = TurnUpright(*made, ImageOrientation(image));
    DisplayedSize(image, &result->width, &result->height);
    FreeImage_Unload(image);
}

// Answers one request: BEGIN, the library's reports as they come, then RESULT.
static int AnswerRequest(const WorkerRequest *request)
{
    currentId = request->id;
    if (!SendWorkerFrame(answerPipe, WORKER_FRAME_BEGIN, request->id, NULL, 0, NULL, 0))
        return 0;
    WorkerResultHead result;
    FIBITMAP *made = NULL;
    DecodeImage(request, &result, &made);
    BYTE *packed = NULL;
    DWORD packedLength = 0;
    if (made != NULL) {
        packed = PackBitmap(made, &packedLength);
        FreeImage_Unload(made);
    }
    result.hasThumb = packed != NULL;
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
    LimitMemory((unsigned long long)(megabytes > 0 ? megabytes : WORKER_MEMORY_MB) * 1024 * 1024);
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
    FreeImage_SetOutputMessage(ReportMessage);
    WorkerRequest request;
    // the job closes its end of the pipe when it has no more work
    while (ReceiveWorkerRequest(requests, &request)) {
        if (!AnswerRequest(&request))
            break;
    }
    return 0;
}
