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
#define POOL_REPLACEMENTS_MAX 3         // workers that failed the job replaced in one job, at most
#define POOL_POLL_MS 250

enum { ENTRY_WAITING, ENTRY_SENT, ENTRY_DONE, ENTRY_FAILED };

// The library's reports about one entry: each MESSAGE payload after its length.
struct MessageLog {
    BYTE *bytes;
    DWORD length;
};

// One listed entry on its way through a worker.
struct PoolEntry {
    WIN32_FIND_DATAA find;
    char path[DECODER_PATH_CAP];
    DWORD id;
    int state;
    int worker;        // slot that has the request, -1 while none has
    MessageLog messages;
    BYTE *result;      // the RESULT payload
    DWORD resultLength;
};

// A request a worker holds, sent and not yet answered; a worker answers them in order.
struct HeldRequest {
    DWORD id;
    int thumbSize;
};

// One worker process, its two pipes and the thread that reads its answers.
struct PoolWorker {
    // Made and closed only by the thread that starts or stops the worker: the starter
    // thread until the job's thread has waited for it, the job's thread after. A reader
    // is handed its pipe and reads none of these; requests is written under sendLock.
    HANDLE process;    // NULL: the slot is empty
    HANDLE requests;
    HANDLE answers;
    HANDLE reader;
    // Under poolLock.
    int alive;         // it may be sent requests; cleared when it ends or must be ended
    int overdue;       // it did not answer in time
    int broken;        // it sent what no worker sends, or refused to decode
    DWORD currentId;   // the request it has begun, 0 between requests
    DWORD clockStart;  // when the wait for its oldest request began
    int outstanding;
    HeldRequest held[POOL_REQUESTS_PER_WORKER];
};

// Lock rules. poolLock guards what the job's thread, the reader threads and the starter
// share: the entries, the workers' state fields above and the bytes held ahead. Nothing
// blocking runs under it: no pipe is written and no process ended. The request pipes are
// written under sendLock, taken before poolLock, which also keeps a pipe from being closed
// in the middle of a write; a write cannot block, since a worker holds at most two
// requests, far less than its pipe's buffer.
static CRITICAL_SECTION poolLock;
static CRITICAL_SECTION sendLock;
static HANDLE poolChanged;  // set by a reader whenever it stored something
static PoolWorker workers[POOL_WORKERS_MAX];
static PoolEntry entries[POOL_ENTRIES_MAX];   // under poolLock
static int entryCount;      // under poolLock; entries[0] is the next one the job takes
static DWORD aheadBytes;    // under poolLock: the results held, decoded ahead
static int jobSize;         // under poolLock: the running job's thumbnail size
static int programWorks;    // under poolLock: a worker has answered a request since the workers started

// Set once, before any other thread of the pool exists.
static int workerCount;

// The job's thread only.
static DWORD watchdogMs = DECODER_WATCHDOG_MS;
static HANDLE starter;      // the thread that starts the workers, until it is waited for
static int jobRunning;
static int inProcess;       // no worker: entries decode in this process
static int aheadLimit;
static int replacements;    // workers that failed this job and were replaced
static DWORD nextRequestId = 1;
static HANDLE listing = INVALID_HANDLE_VALUE;
static WIN32_FIND_DATAA listed;  // the next entry of the listing, not yet queued

// The locks and the event, made once, before any other thread of the pool exists.
static void PreparePool(void)
{
    if (poolChanged != NULL)
        return;
    InitializeCriticalSection(&poolLock);
    InitializeCriticalSection(&sendLock);
    poolChanged = CreateEventA(NULL, FALSE, FALSE, NULL);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    workerCount = (int)system.dwNumberOfProcessors;
    if (workerCount < 1)
        workerCount = 1;
    if (workerCount > POOL_WORKERS_MAX)
        workerCount = POOL_WORKERS_MAX;
}

// The watchdog's time: FOTOBATCH_WATCHDOG_SECONDS when it holds a number, else the default.
static DWORD WatchdogTime(void)
{
    char text[16];
    DWORD length = GetEnvironmentVariableA("FOTOBATCH_WATCHDOG_SECONDS", text, sizeof text);
    unsigned long long seconds = 0;
    if (length == 0 || length >= sizeof text || TextDigitsValue(text, length, 86400, &seconds) != length
        || seconds == 0)
        return DECODER_WATCHDOG_MS;
    return (DWORD)seconds * 1000;
}

// The worker program beside this one: fotobatch-worker.exe, under Winelib its .exe.so.
static int FindWorkerProgram(char *path, size_t cap)
{
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

// The oldest queued entry that may go to a worker now: the one the job waits for, and
// those after it while the results held ahead leave room. -1 when none. Under poolLock.
static int NextToSend(void)
{
    for (int i = 0; i < entryCount; i++) {
        if (entries[i].state != ENTRY_WAITING)
            continue;
        return i == 0 || aheadBytes < POOL_AHEAD_BYTES ? i : -1;
    }
    return -1;
}

// Gives one queued entry to the freest worker: the request to send and the pipe to send
// it on. 0 when there is nothing to send or no worker to take it. Under poolLock.
static int AssignRequest(WorkerRequest *request, HANDLE *pipe, int *slot)
{
    int i = NextToSend();
    *slot = i >= 0 ? FreestWorker() : -1;
    if (*slot < 0)
        return 0;
    PoolEntry *entry = &entries[i];
    PoolWorker *worker = &workers[*slot];
    memset(request, 0, sizeof *request);
    request->id = entry->id;
    request->thumbSize = jobSize;
    request->maxPixels = DECODER_MAX_PIXELS;
    TextCopy(request->path, sizeof request->path, entry->path);
    entry->state = ENTRY_SENT;
    entry->worker = *slot;
    if (worker->outstanding == 0)
        worker->clockStart = GetTickCount();
    worker->held[worker->outstanding].id = entry->id;
    worker->held[worker->outstanding].thumbSize = jobSize;
    worker->outstanding++;
    *pipe = worker->requests;
    return 1;
}

// Sends the queued entries, oldest first, to workers that have room. The readers call it
// too, so that a worker goes on while the job waits for the user. A request that cannot
// be written finds the worker gone: it is no longer sent anything, and what it held is
// settled when it is replaced.
static void Dispatch(void)
{
    EnterCriticalSection(&sendLock);
    for (;;) {
        WorkerRequest request;
        HANDLE pipe;
        int slot;
        EnterCriticalSection(&poolLock);
        int assigned = AssignRequest(&request, &pipe, &slot);
        LeaveCriticalSection(&poolLock);
        if (!assigned)
            break;
        if (!SendWorkerRequest(pipe, &request)) {
            EnterCriticalSection(&poolLock);
            workers[slot].alive = 0;
            LeaveCriticalSection(&poolLock);
            SetEvent(poolChanged);
        }
    }
    LeaveCriticalSection(&sendLock);
}

// Appends one MESSAGE payload to an entry's reports, after its length.
static void KeepMessage(MessageLog *log, const BYTE *payload, DWORD length)
{
    DWORD needed = log->length + sizeof(DWORD) + length;
    BYTE *grown = log->bytes == NULL ? (BYTE *)HeapAlloc(GetProcessHeap(), 0, needed)
                                     : (BYTE *)HeapReAlloc(GetProcessHeap(), 0, log->bytes, needed);
    if (grown == NULL)
        return;
    memcpy(grown + log->length, &length, sizeof(DWORD));
    if (length > 0)
        memcpy(grown + log->length + sizeof(DWORD), payload, length);
    log->bytes = grown;
    log->length = needed;
}

// Whether a frame head is one this worker may send now, as the protocol orders them:
// BEGIN for its oldest request, reports and the RESULT for the request begun, REFUSED
// alone; each no longer than its kind allows. Under poolLock.
static int FrameExpected(const PoolWorker *worker, const WorkerFrameHead *head)
{
    int begun = worker->currentId != 0;
    switch (head->kind) {
    case WORKER_FRAME_BEGIN:
        return !begun && worker->outstanding > 0 && head->id == worker->held[0].id && head->length == 0;
    case WORKER_FRAME_MESSAGE:
        return begun && head->id == worker->currentId && head->length >= sizeof(WorkerMessageHead)
               && head->length <= WORKER_MESSAGE_MAX;
    case WORKER_FRAME_RESULT:
        return begun && head->id == worker->currentId && head->length >= sizeof(WorkerResultHead)
               && head->length <= WorkerResultMax(worker->held[0].thumbSize);
    case WORKER_FRAME_REFUSED:
        return head->id == 0 && head->length <= WORKER_MESSAGE_MAX;
    default:
        return 0;
    }
}

// The entry a worker's frame is about, or NULL when the job has dropped it. Under poolLock.
static PoolEntry *EntryOfFrame(int slot, DWORD id)
{
    for (int i = 0; i < entryCount; i++)
        if (entries[i].id == id && entries[i].worker == slot && entries[i].state == ENTRY_SENT)
            return &entries[i];
    return NULL;
}

// Keeps one expected frame that a worker sent; takes over the payload. Under poolLock.
static void StoreFrame(int slot, const WorkerFrameHead *head, BYTE *payload)
{
    PoolWorker *worker = &workers[slot];
    PoolEntry *entry = EntryOfFrame(slot, head->id);
    if (head->kind == WORKER_FRAME_BEGIN) {
        worker->currentId = head->id;
    } else if (head->kind == WORKER_FRAME_MESSAGE && entry != NULL) {
        KeepMessage(&entry->messages, payload, head->length);
    } else if (head->kind == WORKER_FRAME_REFUSED) {
        worker->broken = 1;
        worker->alive = 0;
    } else if (head->kind == WORKER_FRAME_RESULT) {
        worker->currentId = 0;
        programWorks = 1;
        worker->outstanding--;
        memmove(&worker->held[0], &worker->held[1], worker->outstanding * sizeof worker->held[0]);
        worker->clockStart = GetTickCount();  // the next request's wait begins now
        if (entry != NULL) {
            entry->result = payload;
            entry->resultLength = head->length;
            entry->state = ENTRY_DONE;
            aheadBytes += head->length;
            return;
        }
    }
    if (payload != NULL)
        HeapFree(GetProcessHeap(), 0, payload);
}

// What a reader thread is handed: its slot and the pipe it reads.
struct ReaderStart {
    int slot;
    HANDLE answers;
};

// The reader thread of one worker: stores every frame until the worker's end of the pipe
// closes, which is how a crash, a kill and a normal exit all look from here, or until the
// worker sends what no worker sends; then the worker is to be ended. A frame's payload is
// read only once its head is found to be what the worker may send.
static DWORD WINAPI ReadAnswers(void *parameter)
{
    ReaderStart start = *(ReaderStart *)parameter;
    HeapFree(GetProcessHeap(), 0, parameter);
    PoolWorker *worker = &workers[start.slot];
    int broken = 0;
    for (;;) {
        WorkerFrameHead head;
        if (!ReadAll(start.answers, &head, sizeof head))
            break;
        EnterCriticalSection(&poolLock);
        broken = !FrameExpected(worker, &head);
        LeaveCriticalSection(&poolLock);
        if (broken)
            break;
        BYTE *payload = NULL;
        if (head.length > 0 && (payload = ReceiveFramePayload(start.answers, head.length)) == NULL)
            break;
        EnterCriticalSection(&poolLock);
        StoreFrame(start.slot, &head, payload);
        LeaveCriticalSection(&poolLock);
        SetEvent(poolChanged);
        if (head.kind == WORKER_FRAME_RESULT)
            Dispatch();  // it has room for the next request
    }
    EnterCriticalSection(&poolLock);
    worker->alive = 0;
    worker->broken = worker->broken || broken;
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

// Starts a worker process with its pipes, its memory ceiling as its one argument; 0 when
// it cannot be started.
static int LaunchWorker(const char *program, PROCESS_INFORMATION *started, HANDLE *requests, HANDLE *answers)
{
    char commandLine[MAX_PATH + 16] = "\"";
    if (!TextAppend(commandLine, sizeof commandLine, program) || !TextAppend(commandLine, sizeof commandLine, "\" ")
        || !TextAppendUnsigned(commandLine, sizeof commandLine, DECODER_MEMORY_MB))
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
    BOOL ok = CreateProcessA(program, commandLine, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup, started);
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
static int StartWorker(const char *program, int slot)
{
    PROCESS_INFORMATION started;
    HANDLE requests, answers;
    if (!LaunchWorker(program, &started, &requests, &answers))
        return 0;
    PoolWorker *worker = &workers[slot];
    ReaderStart *start = (ReaderStart *)HeapAlloc(GetProcessHeap(), 0, sizeof *start);
    EnterCriticalSection(&poolLock);
    memset(worker, 0, sizeof *worker);
    worker->process = started.hProcess;
    worker->requests = requests;
    worker->answers = answers;
    worker->alive = start != NULL;
    LeaveCriticalSection(&poolLock);
    if (start != NULL) {
        start->slot = slot;
        start->answers = answers;
        worker->reader = CreateThread(NULL, 0, ReadAnswers, start, 0, NULL);
    }
    if (worker->reader != NULL)
        return 1;
    if (start != NULL)
        HeapFree(GetProcessHeap(), 0, start);
    TerminateProcess(worker->process, 1);
    CloseHandle(worker->process);
    CloseHandle(worker->requests);
    CloseHandle(worker->answers);
    EnterCriticalSection(&poolLock);
    memset(worker, 0, sizeof *worker);
    LeaveCriticalSection(&poolLock);
    return 0;
}

// Ends one worker: closing its request pipe lets it finish; one that does not, or that
// is to be ended at once, is ended.
static void StopWorker(int slot, int atOnce)
{
    PoolWorker *worker = &workers[slot];
    if (worker->process == NULL)
        return;
    EnterCriticalSection(&sendLock);
    EnterCriticalSection(&poolLock);
    worker->alive = 0;  // nothing more is sent to it
    LeaveCriticalSection(&poolLock);
    CloseHandle(worker->requests);
    worker->requests = NULL;
    LeaveCriticalSection(&sendLock);
    if (atOnce || WaitForSingleObject(worker->process, POOL_STOP_WAIT_MS) != WAIT_OBJECT_0)
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

// Fills every empty slot. The program's path is the parameter, copied by the caller.
static DWORD WINAPI StartEmptySlots(void *parameter)
{
    const char *program = (const char *)parameter;
    for (int slot = 0; slot < workerCount; slot++)
        if (workers[slot].process == NULL)
            StartWorker(program, slot);
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
    char *program = (char *)HeapAlloc(GetProcessHeap(), 0, MAX_PATH);
    if (program == NULL)
        return;
    if (!FindWorkerProgram(program, MAX_PATH)) {
        HeapFree(GetProcessHeap(), 0, program);
        return;
    }
    starter = CreateThread(NULL, 0, StartEmptySlots, program, 0, NULL);
    if (starter == NULL)
        StartEmptySlots(program);
}

// Frees what an entry holds.
static void ClearEntry(PoolEntry *entry)
{
    if (entry->messages.bytes != NULL)
        HeapFree(GetProcessHeap(), 0, entry->messages.bytes);
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
    aheadBytes = 0;
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

// Marks a worker that has not answered in time for ending; ReplaceDeadWorkers ends it.
static void EnforceWatchdog(void)
{
    int late = 0;
    EnterCriticalSection(&poolLock);
    for (int slot = 0; slot < workerCount; slot++) {
        PoolWorker *worker = &workers[slot];
        if (worker->process != NULL && worker->alive && worker->outstanding > 0
            && GetTickCount() - worker->clockStart > watchdogMs) {
            worker->overdue = 1;
            worker->alive = 0;
            late = 1;
        }
    }
    LeaveCriticalSection(&poolLock);
    if (late)
        SetEvent(poolChanged);
}

// Settles what a dead worker held. The image it had begun is charged to that image (its
// load-failure box): a crash there is the image's. A worker that did not answer in time
// without beginning anything also costs the requests it held, which waited that long
// already. Every other request goes back to the queue. Whether the slot gets a new
// worker: after a crash on an image, yes, and after a stall on one once the worker
// program has been seen to work (either costs an image, so this cannot loop); after any
// other failure only a program seen to work, a few times in a job. A worker program that
// never answers therefore ends in the job decoding itself, not in a loop. Under poolLock.
static int SettleDeadWorker(int slot)
{
    PoolWorker *worker = &workers[slot];
    int begun = worker->currentId != 0;
    for (int i = 0; i < entryCount; i++) {
        PoolEntry *entry = &entries[i];
        if (entry->worker != slot || entry->state != ENTRY_SENT)
            continue;
        int charged = entry->id == worker->currentId || (worker->overdue && !begun);
        entry->state = charged ? ENTRY_FAILED : ENTRY_WAITING;
        entry->worker = -1;
    }
    if (begun && !worker->broken && (!worker->overdue || programWorks))
        return 1;
    if (!programWorks || replacements >= POOL_REPLACEMENTS_MAX)
        return 0;
    replacements++;
    return 1;
}

// Ends the workers that died or must be ended, and fills their slots as SettleDeadWorker says.
static void ReplaceDeadWorkers(void)
{
    for (int slot = 0; slot < workerCount; slot++) {
        EnterCriticalSection(&poolLock);
        PoolWorker *worker = &workers[slot];
        int dead = worker->process != NULL && !worker->alive;
        int atOnce = worker->overdue || worker->broken;
        int replace = dead && SettleDeadWorker(slot);
        LeaveCriticalSection(&poolLock);
        if (!dead)
            continue;
        StopWorker(slot, atOnce);
        char program[MAX_PATH];
        if (replace && FindWorkerProgram(program, sizeof program))
            StartWorker(program, slot);
    }
}

static int (*whileWaiting)(void);

void DecoderWhileWaiting(int (*handleMessages)(void))
{
    whileWaiting = handleMessages;
}

// Waits a little for a worker to change the pool; a caller's windows that need their
// messages handled meanwhile get them, at most every WAIT_ANSWER_MS: a look into the queue
// at every change of the pool would cost a job of small images about a tenth of its speed
// under Wine, where each look is a round trip to the server.
#define WAIT_ANSWER_MS 50
static void AwaitPoolChange(void)
{
    static DWORD answeredAt;
    DWORD since = GetTickCount() - answeredAt;
    if (whileWaiting == NULL || since < WAIT_ANSWER_MS) {
        WaitForSingleObject(poolChanged, whileWaiting == NULL ? POOL_POLL_MS : WAIT_ANSWER_MS - since);
        return;
    }
    if (MsgWaitForMultipleObjects(1, &poolChanged, FALSE, POOL_POLL_MS, QS_ALLINPUT) != WAIT_OBJECT_0) {
        whileWaiting();
        answeredAt = GetTickCount();
    }
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
        EnforceWatchdog();
        ReplaceDeadWorkers();
        if (LiveWorkers() == 0)
            return 0;
        Dispatch();
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
    KeepMessage((MessageLog *)context, payload, sizeof head + length);
}

// Decodes an entry in this process; its result is what a worker would have sent.
static void DecodeHere(DecodedEntry *decoded, int thumbSize)
{
    MessageLog log = {decoded->messages, decoded->messagesLength};
    DecodeOutcome outcome;
    DecodeImage(decoded->path, thumbSize, DECODER_MAX_PIXELS, KeepOwnMessage, &log, &outcome);
    decoded->messages = log.bytes;
    decoded->messagesLength = log.length;
    decoded->loaded = outcome.loaded;
    decoded->width = outcome.width;
    decoded->height = outcome.height;
    decoded->thumbnail = outcome.thumbnail;
    decoded->identified = outcome.identified;
    decoded->identity = outcome.identity;
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
    decoded->identified = head.identified;
    decoded->identity = head.identity;
    if (head.loaded && head.hasThumb)
        decoded->thumbnail = UnpackBitmap(entry->result + sizeof head, entry->resultLength - sizeof head);
}

// How many entries may wait decoded ahead of the job: as many thumbnails as fit in the
// room kept for them, and at least the one the job takes next.
static int AheadLimit(int size)
{
    unsigned long long thumbBytes = (unsigned long long)size * (unsigned)size * 4;
    unsigned long long fit = POOL_AHEAD_BYTES / (thumbBytes > 0 ? thumbBytes : 1);
    if (fit < 1)
        return 1;
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
    watchdogMs = WatchdogTime();
    replacements = 0;
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
    int thumbSize = jobSize;
    entryCount--;
    memmove(&entries[0], &entries[1], entryCount * sizeof entries[0]);
    if (entry.state == ENTRY_DONE)
        aheadBytes -= entry.resultLength;
    LeaveCriticalSection(&poolLock);

    decoded->find = entry.find;
    TextCopy(decoded->path, sizeof decoded->path, entry.path);
    decoded->messages = entry.messages.bytes;
    decoded->messagesLength = entry.messages.length;
    entry.messages.bytes = NULL;
    if (entry.state == ENTRY_DONE)
        TakeResult(&entry, decoded);
    else if (entry.state == ENTRY_WAITING)
        DecodeHere(decoded, thumbSize);
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
        StopWorker(slot, 0);
    EnterCriticalSection(&poolLock);
    programWorks = 0;
    LeaveCriticalSection(&poolLock);
}

int DecoderEntryUnchanged(const DecodedEntry *entry)
{
    return entry->identified && SourceStillMatches(entry->path, &entry->identity);
}

void DecoderDecodeAgain(DecodedEntry *entry)
{
    if (entry->thumbnail != NULL)
        FreeImage_Unload(entry->thumbnail);
    if (entry->messages != NULL)
        HeapFree(GetProcessHeap(), 0, entry->messages);
    entry->thumbnail = NULL;
    entry->messages = NULL;
    entry->messagesLength = 0;
    EnterCriticalSection(&poolLock);
    int thumbSize = jobSize;
    LeaveCriticalSection(&poolLock);
    DecodeHere(entry, thumbSize);
}
