// The decoding worker's work: a console program that the thumbnail job starts, one per
// core, reads requests from its standard input and answers on its standard output (see
// workerproto.h). Decoding runs there, not in the job, so that an image that crashes,
// hangs or exhausts the image library costs only that process and that one image.
#ifndef FOTOBATCH_WORKER_H
#define FOTOBATCH_WORKER_H

#include <windows.h>
#include "workerproto.h"

// Puts this process under a memory ceiling of that many megabytes and answers requests
// until the job closes its end of the pipe. A worker that cannot set its ceiling decodes
// nothing: it says so to the job and ends. The process's exit code.
int RunDecodingWorker(unsigned long long megabytes);

// What RunDecodingWorker does around and for each request: the process made ready to
// decode (crashes end it quietly, the library's reports go to the request), and one
// request answered on the pipe: BEGIN, the library's reports as they come, then RESULT.
void PrepareWorkerProcess(void);
int AnswerRequest(HANDLE answers, const WorkerRequest *request);

#endif
