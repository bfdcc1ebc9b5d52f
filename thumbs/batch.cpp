#include "thumbs.h"
#include "../base/base.h"
#include "../base/state.h"
#include "thumbfile.h"
#include "thumbformat.h"
#include "../decode/decoder.h"

#include <string.h>

static const char thumbFolder[] = THUMB_FOLDER;

// Tells the user about one entry that gets no thumbnail: the text, then its name.
static void ShowEntryError(const BatchImage *image, const char *text)
{
    ShowNamedError(NULL, text, image->entry.cFileName, MB_ICONINFORMATION);
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
    ShowNamedError(NULL, "thumbnails - не папка (файл или ссылка), миниатюры не записаны:\n", thumbDirPath,
                   MB_ICONWARNING);
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

// Takes the decoded entry's size and thumbnail as the image's own. 0 when there is
// nothing to save; the user has been told and no image is left held.
static int TakeEntryImage(DecodedEntry *decoded, BatchImage *image)
{
    ShowLibraryMessages(decoded);
    if (!decoded->loaded) {
        MessageBoxA(NULL, "", "dib = GenericLoader(WFD.cFileName, 0)", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (decoded->thumbnail == NULL) {
        ShowEntryError(image, "Не удалось уменьшить изображение:\n");
        return 0;
    }
    image->width = decoded->width;
    image->height = decoded->height;
    image->thumbnail = decoded->thumbnail;
    decoded->thumbnail = NULL;
    return 1;
}

// Cuts the name before its last '.', the first character excepted. A name without such a
// '.' (photo, .jpg) is its own base name.
static void BuildBaseName(BatchImage *image)
{
    char *base = image->baseName;
    TextCopy(base, sizeof image->baseName, image->entry.cFileName);
    char *dot = base[0] != '\0' ? strrchr(base + 1, '.') : NULL;
    if (dot != NULL)
        *dot = '\0';
}

// The thumbnail's name, base name and suffix; 0 when it would not fit.
static int AppendSuffix(BatchImage *image)
{
    return TextAppend(image->baseName, sizeof image->baseName, thumbSuffix);
}

// The output path of the image, "thumbnails\" + base + suffix. 0 when it does not fit.
static int BuildThumbnailPath(BatchImage *image)
{
    TextCopy(image->thumbPath, sizeof image->thumbPath, thumbFolder);
    TextAppend(image->thumbPath, sizeof image->thumbPath, "\\");
    return TextAppend(image->thumbPath, sizeof image->thumbPath, image->baseName);
}

// Tells the user which thumbnail was not saved: the text, then its path.
static void ShowSaveError(const BatchImage *image, const char *text)
{
    ShowNamedError(NULL, text, image->thumbPath, MB_ICONINFORMATION);
}

// Encodes the thumbnail in the given format into memory. FreeImage_Save writes through the C
// library, whose failed or short writes not every one of its writers checks, and opens
// the final name itself, following a link there; encoding to memory leaves every write
// to the job, through the Win32 file API, each one checked.
static FIMEMORY *EncodeThumbnail(BatchImage *image, FREE_IMAGE_FORMAT format)
{
    image->thumbnail = ThumbnailForFormat(image->thumbnail, format);
    FIMEMORY *memory = FreeImage_OpenMemory(NULL, 0);
    if (memory != NULL && FreeImage_SaveToMemory(format, image->thumbnail, memory, 0))
        return memory;
    if (memory != NULL)
        FreeImage_CloseMemory(memory);
    return NULL;
}

// Writes the encoded thumbnail under a temporary name in thumbnails and renames it over
// the thumbnail's path only when the whole file is on the disk, so that an earlier
// thumbnail of that name survives a save that fails. 0 when it is not in place; the
// temporary file is gone then.
static int PlaceThumbnailFile(const BatchImage *image, FIMEMORY *memory)
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
    if (written && RenameOver(tempName, image->thumbPath))
        return 1;
    DeleteFileA(tempName);
    return 0;
}

// Saves the thumbnail in the given format at its path. 0, after telling the user which
// thumbnail, when it is not there.
static int SaveThumbnailFile(BatchImage *image, FREE_IMAGE_FORMAT format)
{
    FIMEMORY *memory = EncodeThumbnail(image, format);
    int placed = memory != NULL && PlaceThumbnailFile(image, memory);
    if (memory != NULL)
        FreeImage_CloseMemory(memory);
    if (!placed)
        ShowSaveError(image, "Не удалось сохранить миниатюру:\n");
    return placed;
}

// The output step of one image: the path, the format its extension names, the user's
// description, the file, and only once the file is in place its row. An extension the
// library does not know means no row and no file. A thumbnail name that would not be an
// entry of thumbnails (an entry name holding a backslash, a device name) is refused
// before the user is asked anything. 0 when the log failed and the job must end.
static int SaveThumbnail(BatchImage *image)
{
    if (!BuildThumbnailPath(image)) {
        ShowEntryError(image, "Имя миниатюры длиннее 259 символов, файл пропущен:\n");
        return 1;
    }
    // only the extension matters here, so the relative name will do
    FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(image->thumbPath);
    if (format == FIF_UNKNOWN)
        return 1;
    if (!IsEntryOfFolder(thumbFolder, image->thumbPath)) {
        ShowSaveError(image, "Имя миниатюры ведёт за пределы папки thumbnails, файл пропущен:\n");
        return 1;
    }
    DescribeImage(image);
    if (!SaveThumbnailFile(image, format))
        return 1;
    return WriteImageStatement(image);
}

// Everything done for one listed entry, held in an image of its own. Loading and
// scaling come first and stand apart from naming, recording and saving. 0 when the job
// must end.
static int ProcessEntry(DecodedEntry *decoded)
{
    BatchImage image;
    image.entry = decoded->find;
    if (!TakeEntryImage(decoded, &image))
        return 1;
    BuildBaseName(&image);
    int goOn = 1;
    if (AppendSuffix(&image))
        goOn = SaveThumbnail(&image);
    else
        ShowEntryError(&image, "Имя миниатюры длиннее 259 символов, файл пропущен:\n");
    FreeImage_Unload(image.thumbnail);
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
