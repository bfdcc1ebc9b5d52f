#include "thumbs.h"

// Placeholder until the batch is built.
int MakeThumbnails(void)
{
    return 1;
}
