#include "thumbs.h"
#include "../base/base.h"
#include "../base/state.h"
#include "thumbfile.h"
#include "thumbformat.h"
#include "../decode/decoder.h"

#include <string.h>

// The base-name scan works on a copy of the entry's name. baseName lives for the whole
// run; it is rebuilt for every entry, so nothing of one image's name reaches the next.
static char nameCopy[PATH_CAP];
static char baseName[PATH_CAP];
static int scanPos;

static const char thumbFolder[] = THUMB_FOLDER;

// Tells the user about one entry that gets no thumbnail: the text, then its name.
static void ShowEntryError(const char *text)
{
    char message[PATH_CAP + 128];
    TextCopy(message, sizeof message, text);
    TextAppend(message, sizeof message, WFD.cFileName);
    MessageBoxA(NULL, message, "Error", MB_OK | MB_ICONINFORMATION);
}

// Makes the thumbnails folder; one that is already there is what a second job expects.
// A thumbnails that is a file, or a link that would take the thumbnails somewhere else,
// is not written into. 0 when the job has nowhere to put its thumbnails.
static int MakeThumbnailFolder(void)
{
    if (!CreateDirectoryA(thumbFolder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        MessageBoxA(NULL, thumbDirPath, "Error", MB_OK | MB_ICONWARNING);
        return 0;
    }
    if (IsRealDirectory(thumbFolder))
        return 1;
    char message[PATH_CAP + 96];
    TextCopy(message, sizeof message, "thumbnails - не папка (файл или ссылка), миниатюры не записаны:\n");
    TextAppend(message, sizeof message, thumbDirPath);
    MessageBoxA(NULL, message, "Error", MB_OK | MB_ICONWARNING);
    return 0;
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
    TextCopy(thumbPathPrefix, sizeof thumbPathPrefix, thumbFolder);
    TextAppend(thumbPathPrefix, sizeof thumbPathPrefix, "\\");
    return TextAppend(thumbPathPrefix, sizeof thumbPathPrefix, baseName);
}

// Tells the user which thumbnail was not saved: the text, then its path.
static void ShowSaveError(const char *text)
{
    char message[PATH_CAP + 128];
    TextCopy(message, sizeof message, text);
    TextAppend(message, sizeof message, thumbPathPrefix);
    MessageBoxA(NULL, message, "Error", MB_OK | MB_ICONINFORMATION);
}

// Encodes thumb in the given format into memory. FreeImage_Save writes through the C
// library, whose failed or short writes not every one of its writers checks, and opens
// the final name itself, following a link there; encoding to memory leaves every write
// to the job, through the Win32 file API, each one checked.
static FIMEMORY *EncodeThumbnail(FREE_IMAGE_FORMAT format)
{
    thumb = ThumbnailForFormat(thumb, format);
    FIMEMORY *memory = FreeImage_OpenMemory(NULL, 0);
    if (memory != NULL && FreeImage_SaveToMemory(format, thumb, memory, 0))
        return memory;
    if (memory != NULL)
        FreeImage_CloseMemory(memory);
    return NULL;
}

// Writes the encoded thumbnail under a temporary name in thumbnails and renames it over
// thumbPathPrefix only when the whole file is on the disk, so that an earlier thumbnail
// of that name survives a save that fails. 0 when it is not in place; the temporary file
// is gone then.
static int PlaceThumbnailFile(FIMEMORY *memory)
{
    BYTE *bytes = NULL;
    DWORD count = 0;
    if (!FreeImage_AcquireMemory(memory, &bytes, &count) || count == 0)
        return 0;
    char tempName[PATH_CAP];
    HANDLE file = CreateTempFileIn(thumbFolder, tempName, sizeof tempName);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int written = WriteAllBytes(file, bytes, count);
    CloseHandle(file);
    if (written && RenameOver(tempName, thumbPathPrefix))
        return 1;
    DeleteFileA(tempName);
    return 0;
}

// Saves thumb in the given format at thumbPathPrefix. 0, after telling the user which
// thumbnail, when it is not there.
static int SaveThumbnailFile(FREE_IMAGE_FORMAT format)
{
    FIMEMORY *memory = EncodeThumbnail(format);
    int placed = memory != NULL && PlaceThumbnailFile(memory);
    if (memory != NULL)
        FreeImage_CloseMemory(memory);
    if (!placed)
        ShowSaveError("Не удалось сохранить миниатюру:\n");
    return placed;
}

// The output step of one image: the path, the format its extension names, the user's
// description, the file, and only once the file is in place its row. An extension the
// library does not know means no row and no file. A thumbnail name that would not be an
// entry of thumbnails (an entry name holding a backslash, a device name) is refused
// before the user is asked anything. 0 when the log failed and the job must end.
int SaveThumbnail(void)
{
    if (!BuildThumbnailPath()) {
        ShowEntryError("Имя миниатюры длиннее 259 символов, файл пропущен:\n");
        return 1;
    }
    // only the extension matters here, so the relative name will do
    FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(thumbPathPrefix);
    if (format == FIF_UNKNOWN)
        return 1;
    if (!IsEntryOfFolder(thumbFolder, thumbPathPrefix)) {
        ShowSaveError("Имя миниатюры ведёт за пределы папки thumbnails, файл пропущен:\n");
        return 1;
    }
    DescribeImage();
    if (!SaveThumbnailFile(format))
        return 1;
    return WriteImageStatement();
}

// Lets go of the entry's thumbnail.
static void FreeEntryImages(void)
{
    if (thumb != NULL)
        FreeImage_Unload(thumb);
    thumb = NULL;
}

// Everything done for the entry that WFD describes. Loading and scaling come first and
// stand apart from naming, recording and saving. 0 when the job must end.
static int ProcessEntry(DecodedEntry *decoded)
{
    if (!TakeEntryImage(decoded))
        return 1;
    BuildBaseName();
    int goOn = 1;
    if (AppendSuffix())
        goOn = SaveThumbnail();
    else
        ShowEntryError("Имя миниатюры длиннее 259 символов, файл пропущен:\n");
    FreeEntryImages();
    return goOn;
}

// Walks every entry that matches findMask, directories included, in the order the file
// system lists them, until the log fails; the decoder lists them and decodes ahead.
static void ProcessMatchingEntries(void)
{
    if (!DecoderBegin(findMask, thumbSize)) {
        MessageBoxA(NULL, "FindFirstFile", "Error", MB_OK | MB_ICONINFORMATION);
        return;
    }
    DecodedEntry decoded;
    int goOn = 1;
    while (goOn && DecoderNext(&decoded)) {
        WFD = decoded.find;
        goOn = ProcessEntry(&decoded);
        DecoderRelease(&decoded);
    }
    DecoderEnd();
}

// The thumbnail job: a thumbnail and an imagelog.sql statement for every image of workDir
// that matches findMask. A job whose settings would write elsewhere, or that cannot
// enter workDir, open its log or use its thumbnails folder, stops before it writes a
// thumbnail, rather than writing thumbnails that no statement describes.
int MakeThumbnails(void)
{
    if (ThumbSettingsAccepted(NULL, findMask, thumbSuffix, thumbSize) && EnterWorkDir()) {
        ShowStatus("Создание файла imagelog.sql и папки thumbnails");
        if (OpenImageLog()) {
            if (MakeThumbnailFolder())
                ProcessMatchingEntries();
            CloseImageLog();
            ShowStatus("Запись файла imagelog.sql");
        }
    }
    recordDefaultsSet = 0;
    return 1;
}
