#include "twinnames.h"
#include "../base/state.h"

#include <windows.h>
#include <string.h>

// A name as the disk compares it: in capitals of the code page, Cyrillic included.
static void FoldCase(const char *name, char *folded, size_t cap)
{
    TextCopy(folded, cap, name);
    CharUpperBuffA(folded, (DWORD)strlen(folded));
}

// FNV-1a over the folded name.
static size_t HashOf(const char *folded)
{
    size_t hash = 2166136261u;
    for (const unsigned char *c = (const unsigned char *)folded; *c != '\0'; c++)
        hash = (hash ^ *c) * 16777619u;
    return hash;
}

void PlacedNamesBegin(PlacedNames *names)
{
    memset(names, 0, sizeof *names);
}

void PlacedNamesEnd(PlacedNames *names)
{
    if (names->pool != NULL)
        HeapFree(GetProcessHeap(), 0, names->pool);
    if (names->slots != NULL)
        HeapFree(GetProcessHeap(), 0, names->slots);
    memset(names, 0, sizeof *names);
}

// The slot that holds the folded name, or the empty slot where it would go.
static size_t SlotOf(const PlacedNames *names, const char *folded)
{
    size_t slot = HashOf(folded) & (names->slotCount - 1);
    while (names->slots[slot] != 0 && strcmp(names->pool + names->slots[slot] - 1, folded) != 0)
        slot = (slot + 1) & (names->slotCount - 1);
    return slot;
}

const char *CaseTwinOf(const PlacedNames *names, const char *path, const char **earlierPath)
{
    if (names->filled == 0)
        return NULL;
    char folded[PATH_CAP];
    FoldCase(path, folded, sizeof folded);
    size_t at = names->slots[SlotOf(names, folded)];
    if (at == 0)
        return NULL;
    const char *earlier = names->pool + at - 1 + strlen(folded) + 1;
    if (strcmp(earlier, path) == 0)
        return NULL;
    *earlierPath = earlier;
    return earlier + strlen(earlier) + 1;
}

// Doubles the table when it is half full, moving every name to its new slot.
static int MakeRoomForSlot(PlacedNames *names)
{
    if (names->slotCount != 0 && 2 * (names->filled + 1) <= names->slotCount)
        return 1;
    size_t count = names->slotCount == 0 ? 1024 : 2 * names->slotCount;
    size_t *slots = (size_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof *slots);
    if (slots == NULL)
        return 0;
    size_t *old = names->slots;
    size_t oldCount = names->slotCount;
    names->slots = slots;
    names->slotCount = count;
    for (size_t i = 0; i < oldCount; i++) {
        if (old[i] != 0)
            names->slots[SlotOf(names, names->pool + old[i] - 1)] = old[i];
    }
    if (old != NULL)
        HeapFree(GetProcessHeap(), 0, old);
    return 1;
}

// Makes the pool hold count more bytes.
static int MakeRoomInPool(PlacedNames *names, size_t count)
{
    if (names->used + count <= names->room)
        return 1;
    size_t room = names->room == 0 ? 65536 : 2 * names->room;
    while (room < names->used + count)
        room *= 2;
    char *pool = names->pool == NULL ? (char *)HeapAlloc(GetProcessHeap(), 0, room)
                                     : (char *)HeapReAlloc(GetProcessHeap(), 0, names->pool, room);
    if (pool == NULL)
        return 0;
    names->pool = pool;
    names->room = room;
    return 1;
}

void RememberPlaced(PlacedNames *names, const char *path, const char *source)
{
    char folded[PATH_CAP];
    FoldCase(path, folded, sizeof folded);
    size_t foldedSize = strlen(folded) + 1, pathSize = strlen(path) + 1, sourceSize = strlen(source) + 1;
    if (!MakeRoomForSlot(names) || !MakeRoomInPool(names, foldedSize + pathSize + sourceSize))
        return;
    // the same path again (its thumbnail replaced) points the slot at the later source
    size_t slot = SlotOf(names, folded);
    if (names->slots[slot] == 0)
        names->filled++;
    char *entry = names->pool + names->used;
    memcpy(entry, folded, foldedSize);
    memcpy(entry + foldedSize, path, pathSize);
    memcpy(entry + foldedSize + pathSize, source, sourceSize);
    names->slots[slot] = names->used + 1;
    names->used += foldedSize + pathSize + sourceSize;
}
