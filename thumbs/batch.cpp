#include "thumbs.h"
#include "../base/base.h"
#include "../base/state.h"
#include "thumbformat.h"
#include "../decode/decoder.h"
#include "../decode/loader.h"

#include <string.h>

// The base-name scan works on a copy of the entry's name. baseName lives for the whole
// run; it is rebuilt for every entry, so nothing of one image's name reaches the next.
static char nameCopy[PATH_CAP];
static char baseName[PATH_CAP];
static int scanPos;

// Tells the user about one entry that gets no thumbnail: the text, then its name.
static void ShowEntryError(const char *text)
{
    char message[PATH_CAP + 128];
    TextCopy(message, sizeof message, text);
    TextAppend(message, sizeof message, WFD.cFileName);
    MessageBoxA(NULL, message, "Error", MB_OK | MB_ICONINFORMATION);
}

// Creates or empties .\imagelog.sql for this job. Each statement is flushed as it is
// written, so the handle is plain and unbuffered.
static int OpenImageLog(void)
{
    imageLog = CreateFileA(".\\imagelog.sql", GENERIC_WRITE, FILE_SHARE_READ, NULL,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (imageLog != INVALID_HANDLE_VALUE)
        return 1;
    MessageBoxA(NULL, "fopen imagelog.sql", "Error", MB_OK | MB_ICONINFORMATION);
    return 0;
}

// Closes the log if this job opened it.
static void CloseImageLog(void)
{
    if (imageLog == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(imageLog);
    imageLog = INVALID_HANDLE_VALUE;
}

// Makes the thumbnails folder; one that is already there is what a second job expects.
static void MakeThumbnailFolder(void)
{
    if (!CreateDirectoryA("thumbnails", NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        MessageBoxA(NULL, thumbDirPath, "Error", MB_OK | MB_ICONWARNING);
}

// Shows what the image library reported while the entry decoded, as it would have
// appeared had the library run here.
static void ShowLibraryMessages(const DecodedEntry *decoded)
{
    FREE_IMAGE_FORMAT format;
    char text[1024];
    for (int i = 0; DecodedMessage(decoded, i, &format, text, sizeof text); i++)
        ImageLibraryMessage(format, text);
}

// Takes the decoded entry's size and thumbnail as the entry's own. 0 when there is
// nothing to save; the user has been told and no image is left held.
static int TakeEntryImage(DecodedEntry *decoded)
{
    ShowLibraryMessages(decoded);
    if (!decoded->loaded) {
        MessageBoxA(NULL, "", "dib = GenericLoader(WFD.cFileName, 0)", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (decoded->thumbnail == NULL) {
        ShowEntryError("Не удалось уменьшить изображение:\n");
        return 0;
    }
    sourceWidth = decoded->width;
    sourceHeight = decoded->height;
    thumb = decoded->thumbnail;
    decoded->thumbnail = NULL;
    return 1;
}

// Cuts the name before its last '.', the first character excepted. A name without such a
// '.' (photo, .jpg) is its own base name.
static void BuildBaseName(void)
{
    TextCopy(nameCopy, sizeof nameCopy, WFD.cFileName);
    TextCopy(baseName, sizeof baseName, nameCopy);
    scanPos = (int)strlen(nameCopy);
    while (scanPos > 0) {
        if (nameCopy[scanPos] == '.') {
            baseName[scanPos] = '\0';
            scanPos = 0;
        }
        scanPos--;
    }
}

// Extends the base name by the suffix. 0 when the thumbnail's name would not fit.
static int AppendSuffix(void)
{
    return TextAppend(baseName, sizeof baseName, thumbSuffix);
}

// The output path of this entry, "thumbnails\" + base + suffix. 0 when it does not fit.
static int BuildThumbnailPath(void)
{
    TextCopy(thumbPathPrefix, sizeof thumbPathPrefix, "thumbnails\\");
    return TextAppend(thumbPathPrefix, sizeof thumbPathPrefix, baseName);
}

// Saves thumb in the given format at thumbPathPrefix. The native library is handed the
// Unix path; problems it meets while saving reach the user through its message hook.
static void SaveThumbnailFile(FREE_IMAGE_FORMAT format)
{
    char path[MAX_PATH * 4];
    if (!ImageLibraryPath(thumbPathPrefix, path, sizeof path)) {
        // the folder is missing: say so, as the library itself would when its open fails
        char message[PATH_CAP + 64];
        TextCopy(message, sizeof message, "Не удалось сохранить миниатюру:\n");
        TextAppend(message, sizeof message, thumbPathPrefix);
        MessageBoxA(NULL, message, "Error", MB_OK | MB_ICONINFORMATION);
        return;
    }
    thumb = ThumbnailForFormat(thumb, format);
    FreeImage_Save(format, thumb, path, 0);
}

// The output step of one image: the path, the format its extension names, the record,
// then the file. An extension the library does not know means no record and no file.
void SaveThumbnail(void)
{
    if (!BuildThumbnailPath()) {
        ShowEntryError("Имя миниатюры длиннее 259 символов, файл пропущен:\n");
        return;
    }
    // only the extension matters here, so the relative name will do
    FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(thumbPathPrefix);
    if (format == FIF_UNKNOWN)
        return;
    WriteImageRecord();
    SaveThumbnailFile(format);
}

// Lets go of the entry's thumbnail.
static void FreeEntryImages(void)
{
    if (thumb != NULL)
        FreeImage_Unload(thumb);
    thumb = NULL;
}

// Everything done for the entry that WFD describes. Loading and scaling come first and
// stand apart from naming, recording and saving.
static void ProcessEntry(DecodedEntry *decoded)
{
    if (!TakeEntryImage(decoded))
        return;
    BuildBaseName();
    if (AppendSuffix())
        SaveThumbnail();
    else
        ShowEntryError("Имя миниатюры длиннее 259 символов, файл пропущен:\n");
    FreeEntryImages();
}

// Walks every entry that matches findMask, directories included, in the order the file
// system lists them; the decoder lists them and decodes ahead.
static void ProcessMatchingEntries(void)
{
    if (!DecoderBegin(findMask, thumbSize)) {
        MessageBoxA(NULL, "FindFirstFile", "Error", MB_OK | MB_ICONINFORMATION);
        return;
    }
    DecodedEntry decoded;
    while (DecoderNext(&decoded)) {
        WFD = decoded.find;
        ProcessEntry(&decoded);
        DecoderRelease(&decoded);
    }
    DecoderEnd();
}

// The thumbnail job: a thumbnail and an imagelog.sql statement for every image of workDir
// that matches findMask. A job that cannot enter workDir or open its log stops before it
// writes anything, rather than writing thumbnails that no statement describes.
int MakeThumbnails(void)
{
    if (EnterWorkDir()) {
        ShowStatus("Создание файла imagelog.sql и папки thumbnails");
        if (OpenImageLog()) {
            MakeThumbnailFolder();
            ProcessMatchingEntries();
            CloseImageLog();
            ShowStatus("Запись файла imagelog.sql");
        }
    }
    recordDefaultsSet = 0;
    return 1;
}
