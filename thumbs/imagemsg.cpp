#include "thumbs.h"
#include "../base/state.h"

static const char libraryCaption[] = "File not IMAGE FORMAT";

// One report of the image library about an entry: the box names the entry, then gives
// the library's own words, so that the user can tell which file is damaged.
void ShowEntryLibraryMessage(const char *entryName, const char *message)
{
    char text[PATH_CAP + 1024];
    TextCopy(text, sizeof text, entryName);
    TextAppend(text, sizeof text, "\n");
    TextAppend(text, sizeof text, message != NULL ? message : "");
    MessageBoxA(NULL, text, libraryCaption, MB_OK | MB_ICONINFORMATION);
}

// FreeImage's message hook, for a report made outside any entry's decoding (an encoder's):
// no entry is known there, so the box gives the library's words alone.
void ImageLibraryMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    (void)format;
    MessageBoxA(NULL, message != NULL ? message : "", libraryCaption, MB_OK | MB_ICONINFORMATION);
}
