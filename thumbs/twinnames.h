// The thumbnail names one job has placed, so that two sources whose thumbnail names
// differ in letter case only never share one file: on a disk that ignores case (Windows,
// exFAT, FAT, and Wine's own lookup of names) the two names are one file, and the second
// thumbnail would replace the first under two rows.
#ifndef FOTOBATCH_TWINNAMES_H
#define FOTOBATCH_TWINNAMES_H

#include <stddef.h>

struct PlacedNames {
    char *pool;       // "FOLDED\0exact\0source\0" for every name placed, one after another
    size_t used, room;
    size_t *slots;    // a hash table of pool offsets plus one; 0 is an empty slot
    size_t slotCount, filled;
};

void PlacedNamesBegin(PlacedNames *names);
void PlacedNamesEnd(PlacedNames *names);
// The source of an earlier thumbnail of this job whose path equals path but for letter
// case, or NULL; the earlier path goes to *earlierPath. The same path in the same letters
// is no twin: that thumbnail is replaced, as any earlier file of its name.
const char *CaseTwinOf(const PlacedNames *names, const char *path, const char **earlierPath);
// Remembers a placed thumbnail and its source. A name that cannot be kept (no memory) is
// not remembered: the job goes on without that check.
void RememberPlaced(PlacedNames *names, const char *path, const char *source);

#endif
