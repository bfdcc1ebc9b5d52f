#include "thumbs.h"
#include "../base/state.h"

// FreeImage's message hook. Whatever the library reports, the user sees one box whose
// text is the chooser's list specification.
void ImageLibraryMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    (void)format;
    (void)message;
    MessageBoxA(NULL, browseSpec, "File not IMAGE FORMAT", MB_OK | MB_ICONINFORMATION);
}
