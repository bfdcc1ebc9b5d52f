// The worker the test programs find beside them, in place of the real one. Without
// FOTOBATCH_STANDIN in its environment it is the real worker (the same function the real
// program runs); otherwise it fails as the variable says, on every request, or, given as
// "mode:marker", only on those whose path holds the marker, answering the others as the
// real worker does:
//   exit       ends at once, before reading anything
//   silent     reads requests and never answers
//   stall      answers BEGIN, then never anything more
//   garbage    answers BEGIN, then 64 KB that are no frame
//   frame1g    answers BEGIN, then a RESULT head declaring 1 GiB
//   frame4g    answers BEGIN, then a head declaring 4 GiB less a byte
//   noceiling  is the real worker, under a hard memory limit below the ceiling it must set
#include <windows.h>
#include <string.h>
#include <sys/resource.h>

#include "decode/decoder.h"
#include "decode/worker.h"
#include "decode/workerproto.h"
#include "base/base.h"

// Answers each request with BEGIN and then what the mode sends, then waits to be ended;
// with a marker, a request whose path lacks it is answered as the real worker does.
static int FailRequests(const char *mode, const char *marker)
{
    HANDLE requests = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE answers = GetStdHandle(STD_OUTPUT_HANDLE);
    PrepareWorkerProcess();
    WorkerRequest request;
    while (ReceiveWorkerRequest(requests, &request)) {
        if (marker != NULL && strstr(request.path, marker) == NULL) {
            AnswerRequest(answers, &request);
            continue;
        }
        if (strcmp(mode, "silent") == 0)
            continue;
        SendWorkerFrame(answers, WORKER_FRAME_BEGIN, request.id, NULL, 0, NULL, 0);
        if (strcmp(mode, "garbage") == 0) {
            static BYTE garbage[64 * 1024];
            memset(garbage, 0xA5, sizeof garbage);
            WriteAll(answers, garbage, sizeof garbage);
        } else if (strcmp(mode, "frame1g") == 0 || strcmp(mode, "frame4g") == 0) {
            WorkerFrameHead head = {WORKER_FRAME_RESULT, request.id, mode[5] == '1' ? 1u << 30 : 0xFFFFFFFFu};
            WriteAll(answers, &head, sizeof head);
        }
        Sleep(INFINITE);
    }
    return 0;
}

int main(void)
{
    char mode[64] = "";
    GetEnvironmentVariableA("FOTOBATCH_STANDIN", mode, sizeof mode);
    char *marker = strchr(mode, ':');
    if (marker != NULL)
        *marker++ = '\0';
    if (strcmp(mode, "exit") == 0)
        return 0;
    if (strcmp(mode, "noceiling") == 0) {
        struct rlimit lower = {(rlim_t)(DECODER_MEMORY_MB - 1) << 20, (rlim_t)(DECODER_MEMORY_MB - 1) << 20};
        setrlimit(RLIMIT_DATA, &lower);
    } else if (mode[0] != '\0') {
        return FailRequests(mode, marker);
    }
    return RunDecodingWorker(DECODER_MEMORY_MB);
}
