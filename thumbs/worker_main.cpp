// The decoding worker: a console program that the thumbnail job starts, one per core.
// It reads requests from its standard input and answers on its standard output (see
// workerproto.h). Decoding runs here, not in the job, so that an image that crashes,
// hangs or exhausts the image library costs only this process and that one image.
#include "thumbs.h"
#include "workerproto.h"
#include "orientation.h"
#include "../app/state.h"

#include <string.h>
#ifdef __WINE__
#include <malloc.h>
#include <sys/stat.h>
#endif

static HANDLE answerPipe;
static DWORD currentId;
static int currentPhase;
static int muted;  // while the header is probed, the library's reports are not the user's business

// Passes every report of the image library on to the job at once, so that even the
// reports made just before a crash reach the user.
static void ReportMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    if (muted)
        return;
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

// Named pipes, devices and sockets are never images, and opening one may block forever.
static int IsSpecialFile(const char *path)
{
#ifdef __WINE__
    char unixPath[WORKER_PATH_CAP * 2];
    struct stat info;
    if (!ImageLibraryPath(path, unixPath, sizeof unixPath) || stat(unixPath, &info) != 0)
        return 0;
    return S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISSOCK(info.st_mode);
#else
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) != 0;
#endif
}

// The format GenericLoader will choose for the file, found the same way.
static FREE_IMAGE_FORMAT LoaderFormat(const char *path)
{
    char unixPath[WORKER_PATH_CAP * 2];
    if (!ImageLibraryPath(path, unixPath, sizeof unixPath))
        return FIF_UNKNOWN;
    return ImageFileFormat(unixPath);
}

// Reads only the header and tells whether the image declares more pixels than allowed.
// A header that cannot be read says nothing; the real load then reports what it finds.
static int DeclaresTooManyPixels(const char *path, FREE_IMAGE_FORMAT format, unsigned long long maxPixels)
{
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsNoPixels(format))
        return 0;
    char unixPath[WORKER_PATH_CAP * 2];
    if (!ImageLibraryPath(path, unixPath, sizeof unixPath))
        return 0;
    muted = 1;
    FIBITMAP *header = FreeImage_Load(format, unixPath, FIF_LOAD_NOPIXELS);
    muted = 0;
    if (header == NULL)
        return 0;
    unsigned long long pixels = (unsigned long long)FreeImage_GetWidth(header) * FreeImage_GetHeight(header);
    FreeImage_Unload(header);
    return pixels > maxPixels;
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
    if (IsSpecialFile(request->path))
        return;
    FREE_IMAGE_FORMAT format = LoaderFormat(request->path);
    if (DeclaresTooManyPixels(request->path, format, request->maxPixels))
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

int main(void)
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
