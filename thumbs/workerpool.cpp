#include "workerpool.h"
#include "workerproto.h"
#include "thumbs.h"
#include "orientation.h"
#include "imagesize.h"
#include "../app/state.h"

#include <string.h>

#define POOL_WORKERS_MAX 8
#define POOL_AHEAD_MAX 2                // names handed to one worker before the job needs them
#define POOL_ENTRIES_MAX (POOL_WORKERS_MAX * POOL_AHEAD_MAX + 1)
#define POOL_PIPE_BYTES (64 * 1024)
#define POOL_STOP_WAIT_MS 2000          // a worker told to stop that takes longer is ended
#define POOL_MESSAGE_CAP 1024

enum { ENTRY_WAITING, ENTRY_SENT, ENTRY_DONE, ENTRY_FAILED };

// One name of the directory search on its way through a worker.
struct PoolEntry {
    char name[PATH_CAP];
    char path[WORKER_PATH_CAP];
    DWORD id;
    int state;
    int worker;        // slot that has the request, -1 while none has
    BYTE *messages;    // MESSAGE payloads in order, each after its length
    DWORD messagesLength;
    BYTE *result;      // the RESULT payload
    DWORD resultLength;
};

// One worker process, its two pipes and the thread that reads its answers.
struct PoolWorker {
    HANDLE process;    // NULL: the slot is empty
    HANDLE requests;
    HANDLE answers;
    HANDLE reader;
    int alive;         // cleared by the reader at the end of the answers
    int begun;         // it has started on at least one image
    DWORD currentId;   // the request it works on, 0 between requests
    DWORD startedTick;
    int outstanding;   // requests sent and not yet answered
};

char workerProgram[MAX_PATH] = "";
unsigned long long workerMaxPixels = WORKER_MAX_PIXELS;
DWORD workerWatchdogMs = WORKER_WATCHDOG_MS;
DWORD workerMemoryMb = WORKER_MEMORY_MB;

// Shared with the reader threads, under poolLock.
static CRITICAL_SECTION poolLock;
static HANDLE poolChanged;  // set by a reader whenever it stored something
static PoolWorker workers[POOL_WORKERS_MAX];
static PoolEntry entries[POOL_ENTRIES_MAX];
static int entryCount;      // entries[0] is the next one the job will ask for

// The job's thread only.
static int poolRunning;
static int poolInProcess;   // no worker could be started: load in the job as before
static int workerCount;
static int aheadPerWorker;
static int workersStarted;
static DWORD nextRequestId = 1;
static HANDLE aheadSearch = INVALID_HANDLE_VALUE;
static WIN32_FIND_DATAA aheadFind;  // the next name of the search, not yet taken
static FIBITMAP *pendingImage;      // what WorkerPoolLoad returned last
static FIBITMAP *pendingThumb;
static BYTE *pendingMessages;
static DWORD pendingMessagesLength;

int WorkerPoolStarted(void)
{
    return workersStarted;
}

// The worker program beside this one: fotobatch-worker.exe, under Winelib its .exe.so.
static int FindWorkerProgram(char *path, size_t cap)
{
    if (workerProgram[0] != '\0')
        return TextCopy(path, cap, workerProgram);
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return 0;
    char *slash = strrchr(self, '\\');
    size_t dirLength = slash != NULL ? (size_t)(slash - self) + 1 : 0;
    int fit = TextCopyPrefix(path, cap, self, dirLength);
    fit = fit && TextAppend(path, cap, "fotobatch-worker.exe");
#ifdef __WINE__
    fit = fit && TextAppend(path, cap, ".so");
#endif
    return fit;
}

// Keeps one frame that a worker sent; takes over the payload.
static void StoreFrame(int slot, const WorkerFrameHead *head, BYTE *payload)
{
    PoolWorker *worker = &workers[slot];
    PoolEntry *entry = NULL;
    for (int i = 0; i < entryCount; i++)
        if (entries[i].id == head->id && entries[i].worker == slot)
            entry = &entries[i];
    if (head->kind == WORKER_FRAME_BEGIN) {
        worker->begun = 1;
        worker->currentId = head->id;
        worker->startedTick = GetTickCount();
    } else if (head->kind == WORKER_FRAME_MESSAGE && entry != NULL) {
        DWORD needed = entry->messagesLength + sizeof(DWORD) + head->length;
        BYTE *grown = entry->messages == NULL
            ? (BYTE *)HeapAlloc(GetProcessHeap(), 0, needed)
            : (BYTE *)HeapReAlloc(GetProcessHeap(), 0, entry->messages, needed);
        if (grown != NULL) {
            memcpy(grown + entry->messagesLength, &head->length, sizeof(DWORD));
            if (head->length > 0)
                memcpy(grown + entry->messagesLength + sizeof(DWORD), payload, head->length);
            entry->messages = grown;
            entry->messagesLength = needed;
        }
    } else if (head->kind == WORKER_FRAME_RESULT) {
        worker->currentId = 0;
        worker->outstanding--;
        if (entry != NULL && entry->state == ENTRY_SENT) {
            entry->result = payload;
            entry->resultLength = head->length;
            entry->state = ENTRY_DONE;
            return;
        }
    }
    if (payload != NULL)
        HeapFree(GetProcessHeap(), 0, payload);
}

// The reader thread of one worker: stores every frame until the worker's end of the
// pipe closes, which is how a crash, a kill and a normal exit all look from here.
static DWORD WINAPI ReadAnswers(void *parameter)
{
    int slot = (int)(INT_PTR)parameter;
    HANDLE pipe = workers[slot].answers;
    for (;;) {
        WorkerFrameHead head;
        if (!PipeReadAll(pipe, &head, sizeof head) || head.length > WORKER_FRAME_MAX)
            break;
        BYTE *payload = NULL;
        if (head.length > 0) {
            payload = (BYTE *)HeapAlloc(GetProcessHeap(), 0, head.length);
            if (payload == NULL || !PipeReadAll(pipe, payload, head.length)) {
                if (payload != NULL)
                    HeapFree(GetProcessHeap(), 0, payload);
                break;
            }
        }
        EnterCriticalSection(&poolLock);
        StoreFrame(slot, &head, payload);
        LeaveCriticalSection(&poolLock);
        SetEvent(poolChanged);
    }
    EnterCriticalSection(&poolLock);
    workers[slot].alive = 0;
    LeaveCriticalSection(&poolLock);
    SetEvent(poolChanged);
    return 0;
}

// A pipe whose one end the worker inherits; the job's end is never inheritable, so
// that no other worker holds it open and the end of a worker shows as the end of its pipe.
static int MakeWorkerPipe(HANDLE *readEnd, HANDLE *writeEnd, int childReads)
{
    if (!CreatePipe(readEnd, writeEnd, NULL, POOL_PIPE_BYTES))
        return 0;
    SetHandleInformation(childReads ? *readEnd : *writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return 1;
}

// Starts the worker of one slot; 0 when it cannot be started.
static int StartWorker(int slot)
{
    char program[MAX_PATH];
    if (!FindWorkerProgram(program, sizeof program))
        return 0;
    char commandLine[MAX_PATH + 16] = "\"";
    if (!TextAppend(commandLine, sizeof commandLine, program) || !TextAppend(commandLine, sizeof commandLine, "\" ")
        || !TextAppendUnsigned(commandLine, sizeof commandLine, workerMemoryMb))
        return 0;
    HANDLE requestRead, requestWrite, answerRead, answerWrite;
    if (!MakeWorkerPipe(&requestRead, &requestWrite, 1))
        return 0;
    if (!MakeWorkerPipe(&answerRead, &answerWrite, 0)) {
        CloseHandle(requestRead);
        CloseHandle(requestWrite);
        return 0;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = requestRead;
    startup.hStdOutput = answerWrite;
    startup.hStdError = nowhere;
    PROCESS_INFORMATION started;
    BOOL ok = CreateProcessA(program, commandLine, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL,
                             &startup, &started);
    CloseHandle(requestRead);
    CloseHandle(answerWrite);
    if (nowhere != INVALID_HANDLE_VALUE)
        CloseHandle(nowhere);
    if (!ok) {
        CloseHandle(requestWrite);
        CloseHandle(answerRead);
        return 0;
    }
    CloseHandle(started.hThread);
    PoolWorker *worker = &workers[slot];
    EnterCriticalSection(&poolLock);
    memset(worker, 0, sizeof *worker);
    worker->process = started.hProcess;
    worker->requests = requestWrite;
    worker->answers = answerRead;
    worker->alive = 1;
    LeaveCriticalSection(&poolLock);
    worker->reader = CreateThread(NULL, 0, ReadAnswers, (void *)(INT_PTR)slot, 0, NULL);
    if (worker->reader == NULL) {
        TerminateProcess(worker->process, 1);
        CloseHandle(worker->process);
        CloseHandle(worker->requests);
        CloseHandle(worker->answers);
        memset(worker, 0, sizeof *worker);
        return 0;
    }
    workersStarted++;
    return 1;
}

// Ends one worker: closing its request pipe lets it finish; one that does not is ended.
static void StopWorker(int slot)
{
    PoolWorker *worker = &workers[slot];
    if (worker->process == NULL)
        return;
    CloseHandle(worker->requests);
    if (WaitForSingleObject(worker->process, POOL_STOP_WAIT_MS) != WAIT_OBJECT_0)
        TerminateProcess(worker->process, 1);
    WaitForSingleObject(worker->reader, INFINITE);
    CloseHandle(worker->reader);
    CloseHandle(worker->answers);
    CloseHandle(worker->process);
    EnterCriticalSection(&poolLock);
    memset(worker, 0, sizeof *worker);
    LeaveCriticalSection(&poolLock);
}

static int LiveWorkers(void)
{
    int live = 0;
    for (int slot = 0; slot < workerCount; slot++)
        if (workers[slot].process != NULL)
            live++;
    return live;
}

// Frees what an entry holds.
static void ClearEntry(PoolEntry *entry)
{
    if (entry->messages != NULL)
        HeapFree(GetProcessHeap(), 0, entry->messages);
    if (entry->result != NULL)
        HeapFree(GetProcessHeap(), 0, entry->result);
    memset(entry, 0, sizeof *entry);
}

// Forgets all work ahead; answers still on their way are dropped when they come.
static void DropEntries(void)
{
    EnterCriticalSection(&poolLock);
    for (int i = 0; i < entryCount; i++)
        ClearEntry(&entries[i]);
    entryCount = 0;
    LeaveCriticalSection(&poolLock);
}

// Queues one name; its path is taken now, while the job's directory is current.
static int AppendEntry(const char *name)
{
    if (entryCount >= POOL_ENTRIES_MAX)
        return 0;
    PoolEntry entry;
    memset(&entry, 0, sizeof entry);
    TextCopy(entry.name, sizeof entry.name, name);
    DWORD length = GetFullPathNameA(name, sizeof entry.path, entry.path, NULL);
    if (length == 0 || length >= sizeof entry.path)
        entry.state = ENTRY_FAILED;  // a path this long could not be loaded in the job either
    entry.id = nextRequestId++;
    entry.worker = -1;
    EnterCriticalSection(&poolLock);
    entries[entryCount++] = entry;
    LeaveCriticalSection(&poolLock);
    return 1;
}

static void CloseAheadSearch(void)
{
    if (aheadSearch != INVALID_HANDLE_VALUE)
        FindClose(aheadSearch);
    aheadSearch = INVALID_HANDLE_VALUE;
}

// Keeps each worker supplied with upcoming names of the search, as the job will list them.
static void LookAhead(void)
{
    while (aheadSearch != INVALID_HANDLE_VALUE && entryCount < LiveWorkers() * aheadPerWorker) {
        AppendEntry(aheadFind.cFileName);
        if (!FindNextFileA(aheadSearch, &aheadFind))
            CloseAheadSearch();
    }
}

// The live worker with the fewest requests that can take one more, or -1.
static int FreestWorker(void)
{
    int best = -1;
    for (int slot = 0; slot < workerCount; slot++) {
        PoolWorker *worker = &workers[slot];
        if (worker->process == NULL || !worker->alive || worker->outstanding >= aheadPerWorker)
            continue;
        if (best < 0 || worker->outstanding < workers[best].outstanding)
            best = slot;
    }
    return best;
}

// Sends the queued names, oldest first, to workers that have room.
static void Dispatch(void)
{
    EnterCriticalSection(&poolLock);
    for (int i = 0; i < entryCount; i++) {
        PoolEntry *entry = &entries[i];
        if (entry->state != ENTRY_WAITING)
            continue;
        int slot = FreestWorker();
        if (slot < 0)
            break;
        WorkerRequest request;
        memset(&request, 0, sizeof request);
        request.id = entry->id;
        request.thumbSize = thumbSize;
        request.maxPixels = workerMaxPixels;
        TextCopy(request.path, sizeof request.path, entry->path);
        entry->state = ENTRY_SENT;
        entry->worker = slot;
        workers[slot].outstanding++;
        if (!SendWorkerRequest(workers[slot].requests, &request)) {
            // its reader will see the end and the request goes to the replacement
            TerminateProcess(workers[slot].process, 1);
            workers[slot].alive = 0;
            entry->state = ENTRY_WAITING;
            entry->worker = -1;
        }
    }
    LeaveCriticalSection(&poolLock);
}

// Ends a worker that has spent too long on one image; its reader then reports it dead.
static void EnforceWatchdog(void)
{
    EnterCriticalSection(&poolLock);
    for (int slot = 0; slot < workerCount; slot++) {
        PoolWorker *worker = &workers[slot];
        if (worker->process != NULL && worker->alive && worker->currentId != 0
            && GetTickCount() - worker->startedTick > workerWatchdogMs)
            TerminateProcess(worker->process, 4);
    }
    LeaveCriticalSection(&poolLock);
}

// Charges a dead worker's image to that image alone: its other requests go back to the
// queue and the slot gets a new worker. A worker that died before starting on anything
// is not restarted, or a broken installation would start workers for ever.
static void ReplaceDeadWorkers(void)
{
    for (int slot = 0; slot < workerCount; slot++) {
        EnterCriticalSection(&poolLock);
        PoolWorker *worker = &workers[slot];
        int dead = worker->process != NULL && !worker->alive;
        int begun = worker->begun;
        if (dead) {
            for (int i = 0; i < entryCount; i++) {
                PoolEntry *entry = &entries[i];
                if (entry->worker != slot || entry->state != ENTRY_SENT)
                    continue;
                entry->state = begun && entry->id == worker->currentId ? ENTRY_FAILED : ENTRY_WAITING;
                entry->worker = -1;
            }
        }
        LeaveCriticalSection(&poolLock);
        if (!dead)
            continue;
        StopWorker(slot);
        if (begun)
            StartWorker(slot);
    }
}

// Starts the workers and the look-ahead search for a new job.
static void BeginPool(void)
{
    static int lockReady;
    if (!lockReady) {
        InitializeCriticalSection(&poolLock);
        poolChanged = CreateEventA(NULL, FALSE, FALSE, NULL);
        lockReady = 1;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    workerCount = (int)system.dwNumberOfProcessors;
    if (workerCount < 1)
        workerCount = 1;
    if (workerCount > POOL_WORKERS_MAX)
        workerCount = POOL_WORKERS_MAX;
    // large thumbnails are held in the job until their turn: look ahead less
    aheadPerWorker = thumbSize <= 1024 ? POOL_AHEAD_MAX : 1;
    workersStarted = 0;
    entryCount = 0;
    for (int slot = 0; slot < workerCount; slot++)
        StartWorker(slot);
    poolInProcess = LiveWorkers() == 0;
    aheadSearch = poolInProcess ? INVALID_HANDLE_VALUE : FindFirstFileA(findMask, &aheadFind);
    poolRunning = 1;
}

// Gives up on the pending thumbnail that the job did not ask for.
static void ForgetPending(void)
{
    if (pendingThumb != NULL)
        FreeImage_Unload(pendingThumb);
    if (pendingMessages != NULL)
        HeapFree(GetProcessHeap(), 0, pendingMessages);
    pendingThumb = NULL;
    pendingImage = NULL;
    pendingMessages = NULL;
    pendingMessagesLength = 0;
}

// Shows the library's reports of one phase (or all) through the job's own message hook,
// just as if the library had made them in this process.
static void ReplayMessages(const BYTE *messages, DWORD length, int phase)
{
    DWORD at = 0;
    while (at + sizeof(DWORD) <= length) {
        DWORD size;
        memcpy(&size, messages + at, sizeof size);
        at += sizeof size;
        if (size < sizeof(WorkerMessageHead) || size > length - at)
            return;
        WorkerMessageHead head;
        memcpy(&head, messages + at, sizeof head);
        char text[POOL_MESSAGE_CAP];
        TextCopyPrefix(text, sizeof text, (const char *)messages + at + sizeof head, size - sizeof head);
        at += size;
        if (phase == 0 || head.phase == phase)
            ImageLibraryMessage((FREE_IMAGE_FORMAT)head.format, text);
    }
}

// Waits until the worker has answered for the oldest entry or is known to have failed,
// keeping the workers going meanwhile. 0 when no worker is left at all.
static int AwaitOldestEntry(void)
{
    for (;;) {
        EnterCriticalSection(&poolLock);
        int state = entries[0].state;
        LeaveCriticalSection(&poolLock);
        if (state == ENTRY_DONE || state == ENTRY_FAILED)
            return 1;
        ReplaceDeadWorkers();
        if (LiveWorkers() == 0)
            return 0;
        Dispatch();
        EnforceWatchdog();
        WaitForSingleObject(poolChanged, 250);
    }
}

// An image that has the given size and no pixels, made with the library's public calls:
// the header of a BMP read with FIF_LOAD_NOPIXELS.
static FIBITMAP *HeaderOnlyImage(DWORD width, DWORD height)
{
    BYTE header[54];
    memset(header, 0, sizeof header);
    header[0] = 'B';
    header[1] = 'M';
    DWORD fields[][2] = {{10, 54}, {14, 40}, {18, width}, {22, height}};
    for (const DWORD *field : fields)
        memcpy(header + field[0], &field[1], sizeof(DWORD));
    WORD planes = 1, bitCount = 24;
    memcpy(header + 26, &planes, sizeof planes);
    memcpy(header + 28, &bitCount, sizeof bitCount);
    FIMEMORY *memory = FreeImage_OpenMemory(header, sizeof header);
    if (memory == NULL)
        return NULL;
    FIBITMAP *image = FreeImage_LoadFromMemory(FIF_BMP, memory, FIF_LOAD_NOPIXELS);
    FreeImage_CloseMemory(memory);
    return image;
}

// The job's image for a loaded entry: the source's size and no pixels, which is all that
// the record needs; the thumbnail comes ready from the worker.
static FIBITMAP *TakeResult(PoolEntry *entry)
{
    WorkerResultHead head;
    if (entry->state != ENTRY_DONE || entry->resultLength < sizeof head)
        return NULL;
    memcpy(&head, entry->result, sizeof head);
    if (!head.loaded)
        return NULL;
    FIBITMAP *image = HeaderOnlyImage(head.width, head.height);
    if (image == NULL)
        return NULL;
    if (head.hasThumb)
        pendingThumb = UnpackBitmap(entry->result + sizeof head, entry->resultLength - sizeof head);
    pendingImage = image;
    return image;
}

// Loads in the job's own process when no worker can be started, with the same checks
// before decoding that a worker makes.
static FIBITMAP *LoadInProcess(const char *fileName)
{
    if (CheckedImageFormat(fileName, workerMaxPixels, ImageLibraryMessage) == FIF_UNKNOWN)
        return NULL;
    return GenericLoader(fileName, 0);
}

FIBITMAP *WorkerPoolLoad(const char *fileName)
{
    ForgetPending();
    if (!poolRunning)
        BeginPool();
    if (poolInProcess)
        return LoadInProcess(fileName);
    LookAhead();
    if (entryCount == 0 || strcmp(entries[0].name, fileName) != 0) {
        // the directory changed between the two listings: no more guessing ahead
        DropEntries();
        CloseAheadSearch();
        AppendEntry(fileName);
    }
    Dispatch();
    if (!AwaitOldestEntry()) {
        DropEntries();
        CloseAheadSearch();
        poolInProcess = 1;
        return LoadInProcess(fileName);
    }
    EnterCriticalSection(&poolLock);
    PoolEntry entry = entries[0];
    entryCount--;
    memmove(&entries[0], &entries[1], entryCount * sizeof entries[0]);
    LeaveCriticalSection(&poolLock);
    // the next images decode while this one is saved and described
    LookAhead();
    Dispatch();

    FIBITMAP *image = NULL;
    if (entry.state == ENTRY_FAILED) {
        ReplayMessages(entry.messages, entry.messagesLength, 0);
    } else {
        ReplayMessages(entry.messages, entry.messagesLength, WORKER_PHASE_LOAD);
        image = TakeResult(&entry);
        if (image != NULL) {
            pendingMessages = entry.messages;
            pendingMessagesLength = entry.messagesLength;
            entry.messages = NULL;
        }
    }
    ClearEntry(&entry);
    return image;
}

FIBITMAP *WorkerPoolThumbnail(FIBITMAP *image, int size, BOOL convert)
{
    if (image == NULL || image != pendingImage)
        return TurnUpright(FreeImage_MakeThumbnail(image, size, convert), ImageOrientation(image));
    ReplayMessages(pendingMessages, pendingMessagesLength, WORKER_PHASE_THUMBNAIL);
    FIBITMAP *made = pendingThumb;
    pendingThumb = NULL;
    ForgetPending();
    return made;
}

void WorkerPoolEnd(void)
{
    ForgetPending();
    if (!poolRunning)
        return;
    CloseAheadSearch();
    DropEntries();
    for (int slot = 0; slot < workerCount; slot++)
        StopWorker(slot);
    poolRunning = 0;
    poolInProcess = 0;
}
