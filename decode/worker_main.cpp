// The decoding worker program (fotobatch-worker.exe), started by the thumbnail job.
#include "decoder.h"
#include "worker.h"
#include "../base/textbuf.h"

#include <string.h>

int main(int argc, char **argv)
{
    // the ceiling in megabytes is the one argument; a worker started without it keeps the default
    unsigned long long megabytes = 0;
    if (argc > 1)
        TextDigitsValue(argv[1], strlen(argv[1]), 0xFFFFFFFFull, &megabytes);
    return RunDecodingWorker(megabytes > 0 ? megabytes : DECODER_MEMORY_MB);
}
