#include "decoder.h"
#include "decodeimage.h"
#include "workerproto.h"
#include "../base/base.h"
#include "../base/textbuf.h"

#include <string.h>

#define POOL_WORKERS_MAX 8
#define POOL_REQUESTS_PER_WORKER 2      // requests a worker holds at once, so it never waits
#define POOL_ENTRIES_MAX 256            // listed entries held ahead of the job at most
#define POOL_AHEAD_BYTES (24u << 20)    // room for thumbnails decoded ahead of the job
#define POOL_PIPE_BYTES (64 * 1024)
#define POOL_STOP_WAIT_MS 2000          // a worker told to stop that takes longer is ended

enum { ENTRY_WAITING, ENTRY_SENT, ENTRY_DONE, ENTRY_FAILED };

// One listed entry on its way through a worker.
struct PoolEntry {
    WIN32_FIND_DATAA find;
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

// Shared with the reader threads and the starter, under poolLock.
static CRITICAL_SECTION poolLock;
static HANDLE poolChanged;  // set by a reader whenever it stored something
static PoolWorker workers[POOL_WORKERS_MAX];
static PoolEntry entries[POOL_ENTRIES_MAX];
static int entryCount;      // entries[0] is the next one the job takes
static int jobSize;         // the running job's thumbnail size
static unsigned long long maxPixels = DECODER_MAX_PIXELS;
static int workersStarted;

// The job's thread only.
static char workerProgram[MAX_PATH];
static DWORD workerMemoryMb = DECODER_MEMORY_MB;
static DWORD watchdogMs = DECODER_WATCHDOG_MS;
static HANDLE starter;      // the thread that starts the workers, until it is waited for
static int workerCount;
static int jobRunning;
static int inProcess;       // no worker: entries decode in this process
static int aheadLimit;
static DWORD nextRequestId = 1;
static HANDLE listing = INVALID_HANDLE_VALUE;
static WIN32_FIND_DATAA listed;  // the next entry of the listing, not yet queued

// The lock and the event, made once, before any other thread of the pool exists.
static void PreparePool(void)
{
    if (poolChanged != NULL)
        return;
    InitializeCriticalSection(&poolLock);
    poolChanged = CreateEventA(NULL, FALSE, FALSE, NULL);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    workerCount = (int)system.dwNumberOfProcessors;
    if (workerCount < 1)
        workerCount = 1;
    if (workerCount > POOL_WORKERS_MAX)
        workerCount = POOL_WORKERS_MAX;
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

// The live worker with the fewest requests that can take one more, or -1. Under poolLock.
static int FreestWorker(void)
{
    int best = -1;
    for (int slot = 0; slot < workerCount; slot++) {
        PoolWorker *worker = &workers[slot];
        if (worker->process == NULL || !worker->alive || worker->outstanding >= POOL_REQUESTS_PER_WORKER)
            continue;
        if (best < 0 || worker->outstanding < workers[best].outstanding)
            best = slot;
    }
    return best;
}

// Sends the queued entries, oldest first, to workers that have room. Under poolLock; the
// readers call it too, so that a worker goes on while the job waits for the user.
static void DispatchLocked(void)
{
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
        request.thumbSize = jobSize;
        request.maxPixels = maxPixels;
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
}

static void Dispatch(void)
{
    EnterCriticalSection(&poolLock);
    DispatchLocked();
    LeaveCriticalSection(&poolLock);
}

// Appends one MESSAGE payload to an entry's reports, after its length.
static void KeepMessage(PoolEntry *entry, const BYTE *payload, DWORD length)
{
    DWORD needed = entry->messagesLength + sizeof(DWORD) + length;
    BYTE *grown = entry->messages == NULL ? (BYTE *)HeapAlloc(GetProcessHeap(), 0, needed)
                                          : (BYTE *)HeapReAlloc(GetProcessHeap(), 0, entry->messages, needed);
    if (grown == NULL)
        return;
    memcpy(grown + entry->messagesLength, &length, sizeof(DWORD));
    if (length > 0)
        memcpy(grown + entry->messagesLength + sizeof(DWORD), payload, length);
    entry->messages = grown;
    entry->messagesLength = needed;
}

// Keeps one frame that a worker sent; takes over the payload. Under poolLock.
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
        KeepMessage(entry, payload, head->length);
    } else if (head->kind == WORKER_FRAME_RESULT) {
        worker->currentId = 0;
        worker->outstanding--;
        DispatchLocked();
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

// How a worker is started: its program, and its memory ceiling, which it is told as its
// one argument and puts itself under.
struct WorkerLaunch {
    char program[MAX_PATH];
    DWORD memoryMb;
};

// The launch of the workers as the tests or the installation set it; 0 when there is none.
static int PrepareLaunch(WorkerLaunch *launch)
{
    launch->memoryMb = workerMemoryMb;
    return FindWorkerProgram(launch->program, sizeof launch->program);
}

// Starts the worker process of one slot with its pipes; 0 when it cannot be started.
static int LaunchWorker(const WorkerLaunch *launch, PROCESS_INFORMATION *started, HANDLE *requests, HANDLE *answers)
{
    char commandLine[MAX_PATH + 16] = "\"";
    if (!TextAppend(commandLine, sizeof commandLine, launch->program) ||
        !TextAppend(commandLine, sizeof commandLine, "\" ") ||
        !TextAppendUnsigned(commandLine, sizeof commandLine, launch->memoryMb))
        return 0;
    HANDLE requestRead, answerWrite;
    if (!MakeWorkerPipe(&requestRead, requests, 1))
        return 0;
    if (!MakeWorkerPipe(answers, &answerWrite, 0)) {
        CloseHandle(requestRead);
        CloseHandle(*requests);
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
    BOOL ok = CreateProcessA(launch->program, commandLine, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL,
                             &startup, started);
    CloseHandle(requestRead);
    CloseHandle(answerWrite);
    if (nowhere != INVALID_HANDLE_VALUE)
        CloseHandle(nowhere);
    if (!ok) {
        CloseHandle(*requests);
        CloseHandle(*answers);
        return 0;
    }
    CloseHandle(started->hThread);
    return 1;
}

// Starts the worker of one slot and its reader; 0 when it cannot be started.
static int StartWorker(const WorkerLaunch *launch, int slot)
{
    PROCESS_INFORMATION started;
    HANDLE requests, answers;
    if (!LaunchWorker(launch, &started, &requests, &answers))
        return 0;
    PoolWorker *worker = &workers[slot];
    EnterCriticalSection(&poolLock);
    memset(worker, 0, sizeof *worker);
    worker->process = started.hProcess;
    worker->requests = requests;
    worker->answers = answers;
    worker->alive = 1;
    LeaveCriticalSection(&poolLock);
    worker->reader = CreateThread(NULL, 0, ReadAnswers, (void *)(INT_PTR)slot, 0, NULL);
    if (worker->reader == NULL) {
        TerminateProcess(worker->process, 1);
        CloseHandle(worker->process);
        CloseHandle(worker->requests);
        CloseHandle(worker->answers);
        EnterCriticalSection(&poolLock);
        memset(worker, 0, sizeof *worker);
        LeaveCriticalSection(&poolLock);
        return 0;
    }
    EnterCriticalSection(&poolLock);
    workersStarted++;
    LeaveCriticalSection(&poolLock);
    return 1;
}

// Ends one worker: closing its request pipe lets it finish; one that does not is ended.
static void StopWorker(int slot)
{
    PoolWorker *worker = &workers[slot];
    if (worker->process == NULL)
        return;
    EnterCriticalSection(&poolLock);
    worker->alive = 0;  // nothing more is sent to it
    LeaveCriticalSection(&poolLock);
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
    EnterCriticalSection(&poolLock);
    for (int slot = 0; slot < workerCount; slot++)
        if (workers[slot].process != NULL && workers[slot].alive)
            live++;
    LeaveCriticalSection(&poolLock);
    return live;
}

// Fills every empty slot. The launch is the parameter, copied by the caller, so that the
// thread reads nothing the job's thread may change.
static DWORD WINAPI StartEmptySlots(void *parameter)
{
    const WorkerLaunch *launch = (const WorkerLaunch *)parameter;
    for (int slot = 0; slot < workerCount; slot++)
        if (workers[slot].process == NULL)
            StartWorker(launch, slot);
    HeapFree(GetProcessHeap(), 0, parameter);
    return 0;
}

// Waits until the background start is over.
static void AwaitStarter(void)
{
    if (starter == NULL)
        return;
    WaitForSingleObject(starter, INFINITE);
    CloseHandle(starter);
    starter = NULL;
}

void DecoderStartWorkers(void)
{
    PreparePool();
    if (starter != NULL || LiveWorkers() == workerCount)
        return;
    WorkerLaunch *launch = (WorkerLaunch *)HeapAlloc(GetProcessHeap(), 0, sizeof *launch);
    if (launch == NULL)
        return;
    if (!PrepareLaunch(launch)) {
        HeapFree(GetProcessHeap(), 0, launch);
        return;
    }
    starter = CreateThread(NULL, 0, StartEmptySlots, launch, 0, NULL);
    if (starter == NULL)
        StartEmptySlots(launch);
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

static void CloseListing(void)
{
    if (listing != INVALID_HANDLE_VALUE)
        FindClose(listing);
    listing = INVALID_HANDLE_VALUE;
}

// Queues listed entries up to the limit. Each path is taken now, while the job's
// directory is current; one too long to name could not be loaded by the job either. A
// name that is not the plain name of an entry (under Wine a Unix name may read as
// ..\outside\photo.jpg) is not read at all: it would name some other file.
static void QueueListed(int limit)
{
    while (listing != INVALID_HANDLE_VALUE && entryCount < limit) {
        PoolEntry entry;
        memset(&entry, 0, sizeof entry);
        entry.find = listed;
        DWORD length = GetFullPathNameA(listed.cFileName, sizeof entry.path, entry.path, NULL);
        if (length == 0 || length >= sizeof entry.path || !IsPlainEntryName(listed.cFileName))
            entry.state = ENTRY_FAILED;
        entry.id = nextRequestId++;
        entry.worker = -1;
        EnterCriticalSection(&poolLock);
        entries[entryCount++] = entry;
        LeaveCriticalSection(&poolLock);
        if (!FindNextEntry(listing, &listed))
            CloseListing();
    }
}

// Ends a worker that has spent too long on one image; its reader then reports it dead.
static void EnforceWatchdog(void)
{
    EnterCriticalSection(&poolLock);
    for (int slot = 0; slot < workerCount; slot++) {
        PoolWorker *worker = &workers[slot];
        if (worker->process != NULL && worker->alive && worker->currentId != 0
            && GetTickCount() - worker->startedTick > watchdogMs)
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
        WorkerLaunch launch;
        if (begun && PrepareLaunch(&launch))
            StartWorker(&launch, slot);
    }
}

static int (*whileWaiting)(void);

void DecoderWhileWaiting(int (*handleMessages)(void))
{
    whileWaiting = handleMessages;
}

// Waits a little for a worker to change the pool; a caller's windows that need their
// messages handled meanwhile get them as they come.
static void AwaitPoolChange(void)
{
    if (whileWaiting == NULL) {
        WaitForSingleObject(poolChanged, 250);
        return;
    }
    MsgWaitForMultipleObjects(1, &poolChanged, FALSE, 250, QS_ALLINPUT);
    whileWaiting();
}

// Waits until a worker has answered for the oldest entry or is known to have failed on
// it, keeping the workers going meanwhile. 0 when no worker is left at all.
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
        AwaitPoolChange();
    }
}

// Entries are decoded here from now on; what workers had been sent is taken back.
static void FallBackToThisProcess(void)
{
    inProcess = 1;
    EnterCriticalSection(&poolLock);
    for (int i = 0; i < entryCount; i++) {
        if (entries[i].state == ENTRY_SENT) {
            entries[i].state = ENTRY_WAITING;
            entries[i].worker = -1;
        }
    }
    LeaveCriticalSection(&poolLock);
}

// Keeps a report of the library made while decoding in this process, as a worker's is kept.
static void KeepOwnMessage(void *context, FREE_IMAGE_FORMAT format, const char *message)
{
    BYTE payload[sizeof(WorkerMessageHead) + 1024];
    WorkerMessageHead head = {(int)format};
    DWORD length = (DWORD)strnlen(message, sizeof payload - sizeof head);
    memcpy(payload, &head, sizeof head);
    memcpy(payload + sizeof head, message, length);
    KeepMessage((PoolEntry *)context, payload, sizeof head + length);
}

// Decodes an entry in this process; its result is what a worker would have sent.
static void DecodeHere(PoolEntry *entry, DecodedEntry *decoded)
{
    DecodeOutcome outcome;
    DecodeImage(entry->path, jobSize, maxPixels, KeepOwnMessage, entry, &outcome);
    decoded->loaded = outcome.loaded;
    decoded->width = outcome.width;
    decoded->height = outcome.height;
    decoded->thumbnail = outcome.thumbnail;
}

// Unpacks what a worker sent for an entry.
static void TakeResult(const PoolEntry *entry, DecodedEntry *decoded)
{
    WorkerResultHead head;
    if (entry->result == NULL || entry->resultLength < sizeof head)
        return;
    memcpy(&head, entry->result, sizeof head);
    decoded->loaded = head.loaded;
    decoded->width = head.width;
    decoded->height = head.height;
    if (head.loaded && head.hasThumb)
        decoded->thumbnail = UnpackBitmap(entry->result + sizeof head, entry->resultLength - sizeof head);
}

// How many entries may wait decoded ahead of the job: as many thumbnails as fit in the
// room kept for them, at least enough to keep every worker busy.
static int AheadLimit(int size)
{
    unsigned long long thumbBytes = (unsigned long long)size * (unsigned)size * 4;
    unsigned long long fit = POOL_AHEAD_BYTES / (thumbBytes > 0 ? thumbBytes : 1);
    int least = workerCount * POOL_REQUESTS_PER_WORKER;
    if (fit < (unsigned long long)least)
        return least;
    return fit > POOL_ENTRIES_MAX ? POOL_ENTRIES_MAX : (int)fit;
}

int DecoderBegin(const char *mask, int thumbSize)
{
    PreparePool();
    DecoderEnd();
    AwaitStarter();
    listing = FindFirstEntry(mask, &listed);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    EnterCriticalSection(&poolLock);
    jobSize = thumbSize;
    LeaveCriticalSection(&poolLock);
    aheadLimit = AheadLimit(thumbSize);
    if (LiveWorkers() < workerCount) {
        // workers that ended since, or were never started: the job needs them now
        DecoderStartWorkers();
        AwaitStarter();
    }
    inProcess = LiveWorkers() == 0;
    jobRunning = 1;
    return 1;
}

int DecoderNext(DecodedEntry *decoded)
{
    memset(decoded, 0, sizeof *decoded);
    if (!jobRunning)
        return 0;
    QueueListed(inProcess ? 1 : aheadLimit);
    if (entryCount == 0)
        return 0;
    if (!inProcess) {
        Dispatch();
        if (!AwaitOldestEntry())
            FallBackToThisProcess();
    }
    EnterCriticalSection(&poolLock);
    PoolEntry entry = entries[0];
    entryCount--;
    memmove(&entries[0], &entries[1], entryCount * sizeof entries[0]);
    LeaveCriticalSection(&poolLock);

    decoded->find = entry.find;
    if (entry.state == ENTRY_DONE)
        TakeResult(&entry, decoded);
    else if (entry.state == ENTRY_WAITING)
        DecodeHere(&entry, decoded);
    decoded->messages = entry.messages;
    decoded->messagesLength = entry.messagesLength;
    entry.messages = NULL;
    ClearEntry(&entry);
    if (!inProcess) {
        // the next entries decode while this one is described and saved
        QueueListed(aheadLimit);
        Dispatch();
    }
    return 1;
}

int DecodedMessage(const DecodedEntry *entry, int index, FREE_IMAGE_FORMAT *format, char *text, size_t cap)
{
    DWORD at = 0;
    for (int i = 0; at + sizeof(DWORD) <= entry->messagesLength; i++) {
        DWORD size;
        memcpy(&size, entry->messages + at, sizeof size);
        at += sizeof size;
        if (size < sizeof(WorkerMessageHead) || size > entry->messagesLength - at)
            return 0;
        if (i == index) {
            WorkerMessageHead head;
            memcpy(&head, entry->messages + at, sizeof head);
            *format = (FREE_IMAGE_FORMAT)head.format;
            TextCopyPrefix(text, cap, (const char *)entry->messages + at + sizeof head, size - sizeof head);
            return 1;
        }
        at += size;
    }
    return 0;
}

void DecoderRelease(DecodedEntry *entry)
{
    if (entry->thumbnail != NULL)
        FreeImage_Unload(entry->thumbnail);
    if (entry->messages != NULL)
        HeapFree(GetProcessHeap(), 0, entry->messages);
    memset(entry, 0, sizeof *entry);
}

void DecoderEnd(void)
{
    if (poolChanged == NULL)
        return;
    CloseListing();
    DropEntries();
    jobRunning = 0;
    inProcess = 0;
}

void DecoderShutdown(void)
{
    if (poolChanged == NULL)
        return;
    DecoderEnd();
    AwaitStarter();
    for (int slot = 0; slot < workerCount; slot++)
        StopWorker(slot);
    EnterCriticalSection(&poolLock);
    workersStarted = 0;
    LeaveCriticalSection(&poolLock);
}

void DecoderUseWorker(const char *program, DWORD memoryMb)
{
    const char *wanted = program != NULL ? program : "";
    if (strcmp(wanted, workerProgram) == 0 && memoryMb == workerMemoryMb)
        return;
    DecoderShutdown();
    TextCopy(workerProgram, sizeof workerProgram, wanted);
    workerMemoryMb = memoryMb;
}

void DecoderSetLimits(unsigned long long pixels, DWORD milliseconds)
{
    PreparePool();
    EnterCriticalSection(&poolLock);
    maxPixels = pixels;
    LeaveCriticalSection(&poolLock);
    watchdogMs = milliseconds;
}

int DecoderWorkersStarted(void)
{
    if (poolChanged == NULL)
        return 0;
    EnterCriticalSection(&poolLock);
    int started = workersStarted;
    LeaveCriticalSection(&poolLock);
    return started;
}
