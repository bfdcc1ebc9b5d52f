// A stand-in for the decoding worker that stalls on purpose: it starts on every request
// and, for a file whose name holds "stall", never finishes; every other file it answers
// at once as not loaded. The watchdog test points the pool at it.
#include <windows.h>
#include <string.h>

#include "decode/workerproto.h"

int main(void)
{
    HANDLE requests = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE answers = GetStdHandle(STD_OUTPUT_HANDLE);
    WorkerRequest request;
    while (ReceiveWorkerRequest(requests, &request)) {
        if (!SendWorkerFrame(answers, WORKER_FRAME_BEGIN, request.id, NULL, 0, NULL, 0))
            return 1;
        if (strstr(request.path, "stall") != NULL)
            Sleep(INFINITE);
        WorkerResultHead result;
        memset(&result, 0, sizeof result);
        if (!SendWorkerFrame(answers, WORKER_FRAME_RESULT, request.id, &result, sizeof result, NULL, 0))
            return 1;
    }
    return 0;
}
