#include "thumbs.h"
#include "../base/base.h"
#include "../base/progress.h"
#include "../base/state.h"
#include "thumbfile.h"
#include "thumbformat.h"
#include "twinnames.h"
#include "../decode/decoder.h"

#include <string.h>

static const char thumbFolder[] = THUMB_FOLDER;
static const char nameTooLong[] = "Имя миниатюры длиннее 259 символов, файл пропущен:\n";

// What one step leaves of an entry: it goes on to the next step, it is done (the user was
// told, or there was silently nothing to do), or the whole job ends.
enum StepResult { STEP_ON, STEP_DONE, STEP_END };

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

// A working folder gone from under the job (its medium pulled, the folder removed) fails
// every later entry the same way: the user is told once, and the job ends.
static int WorkFolderVanished(void)
{
    if (IsRealDirectory(thumbFolder))
        return 0;
    ShowNamedError(NULL, "Папка задания недоступна (носитель извлечён?), задание остановлено:\n", workDir,
                   MB_ICONINFORMATION);
    return 1;
}

// Shows what the image library reported while the entry decoded, each report in a box
// that names the entry.
static void ShowLibraryMessages(const DecodedEntry *decoded)
{
    FREE_IMAGE_FORMAT format;
    char text[1024];
    for (int i = 0; DecodedMessage(decoded, i, &format, text, sizeof text); i++)
        ShowEntryLibraryMessage(decoded->find.cFileName, text);
}

// Takes the decoded entry's sizes and thumbnail as the image's own, in place of any it
// held: the file's size as it was when it was opened for decoding (the listing's, when
// it never was). STEP_DONE when there is nothing to save: the user has been told.
static StepResult TakeEntryImage(DecodedEntry *decoded, BatchImage *image)
{
    const WIN32_FIND_DATAA *listed = &decoded->find;
    image->fileSize = decoded->identified ? decoded->identity.size
                                          : ((unsigned long long)listed->nFileSizeHigh << 32) | listed->nFileSizeLow;
    if (image->thumbnail != NULL)
        FreeImage_Unload(image->thumbnail);
    image->thumbnail = NULL;
    if (!decoded->loaded && WorkFolderVanished())
        return STEP_END;
    ShowLibraryMessages(decoded);
    if (!decoded->loaded) {
        MessageBoxA(NULL, "", "dib = GenericLoader(WFD.cFileName, 0)", MB_OK | MB_ICONINFORMATION);
        return STEP_DONE;
    }
    if (decoded->thumbnail == NULL) {
        ShowEntryError(image, "Не удалось уменьшить изображение:\n");
        return STEP_DONE;
    }
    image->width = decoded->width;
    image->height = decoded->height;
    image->thumbnail = decoded->thumbnail;
    decoded->thumbnail = NULL;
    return STEP_ON;
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

// The output path of the image, "thumbnails\" + base + suffix. 0 when it does not fit,
// or when with the working directory before it the path is longer than Win32 opens.
static int BuildThumbnailPath(BatchImage *image)
{
    TextCopy(image->thumbPath, sizeof image->thumbPath, thumbFolder);
    TextAppend(image->thumbPath, sizeof image->thumbPath, "\\");
    if (!TextAppend(image->thumbPath, sizeof image->thumbPath, image->baseName))
        return 0;
    char fullPath[PATH_CAP];
    DWORD length = GetFullPathNameA(image->thumbPath, sizeof fullPath, fullPath, NULL);
    return length > 0 && length < sizeof fullPath;
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

// Saves the thumbnail in the given format at its path. STEP_DONE, after telling the user
// which thumbnail, when it is not there.
static StepResult SaveThumbnailFile(BatchImage *image, FREE_IMAGE_FORMAT format)
{
    FIMEMORY *memory = EncodeThumbnail(image, format);
    int placed = memory != NULL && PlaceThumbnailFile(image, memory);
    if (memory != NULL)
        FreeImage_CloseMemory(memory);
    if (placed)
        return STEP_ON;
    if (WorkFolderVanished())
        return STEP_END;
    ShowSaveError(image, "Не удалось сохранить миниатюру:\n");
    return STEP_DONE;
}

// A thumbnail whose path differs from one placed earlier in this job in letter case only
// is refused, with a box naming both sources and their thumbnails: on Windows, exFAT and
// FAT, and in Wine's own lookup of names, the two paths are one file.
static int IsCaseTwin(const BatchImage *image, const PlacedNames *placed)
{
    const char *earlierPath = NULL;
    const char *earlierSource = CaseTwinOf(placed, image->thumbPath, &earlierPath);
    if (earlierSource == NULL)
        return 0;
    char text[4 * PATH_CAP + 128];
    TextCopy(text, sizeof text, "Имена миниатюр различаются только регистром букв, вторая не записана:\n");
    TextAppend(text, sizeof text, earlierSource);
    TextAppend(text, sizeof text, " -> ");
    TextAppend(text, sizeof text, earlierPath);
    TextAppend(text, sizeof text, "\n");
    TextAppend(text, sizeof text, image->entry.cFileName);
    TextAppend(text, sizeof text, " -> ");
    TextAppend(text, sizeof text, image->thumbPath);
    MessageBoxA(NULL, text, "Error", MB_OK | MB_ICONINFORMATION);
    return 1;
}

// Makes the image what is on the disk now: a file changed since it was decoded ahead is
// decoded again; one that is gone gets the load-failure box, as a file that never loaded.
static StepResult TakeFileAsItIsNow(DecodedEntry *decoded, BatchImage *image)
{
    if (DecoderEntryUnchanged(decoded))
        return STEP_ON;
    DecoderDecodeAgain(decoded);
    return TakeEntryImage(decoded, image);
}

// The user's description of the file as it is. The file may change while the
// description dialog waits for the user: then it is taken again and described anew. The
// thumbnail is converted for its format first, so that the dialog shows the very bitmap
// that is saved.
static StepResult DescribeFileAsItIs(DecodedEntry *decoded, BatchImage *image, FREE_IMAGE_FORMAT format)
{
    for (;;) {
        StepResult step = TakeFileAsItIsNow(decoded, image);
        if (step != STEP_ON)
            return step;
        image->thumbnail = ThumbnailForFormat(image->thumbnail, format);
        int asked = recordDefaultsSet == 0;
        DescribeImage(image);
        if (!asked || DecoderEntryUnchanged(decoded))
            return STEP_ON;
    }
}

// The output step of one image: the path, the format its extension names, the file as it
// is now and the user's description of it, the thumbnail, and only once it is in place
// its row. An extension the library does not know means no row and no file. A thumbnail
// name that would not be an entry of thumbnails (an entry name holding a backslash, a
// device name), or that is an earlier thumbnail's in other letter case, is refused before
// the user is asked anything.
static StepResult SaveThumbnail(DecodedEntry *decoded, BatchImage *image, PlacedNames *placed)
{
    if (!BuildThumbnailPath(image)) {
        ShowEntryError(image, nameTooLong);
        return STEP_DONE;
    }
    // only the extension matters here, so the relative name will do
    FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(image->thumbPath);
    if (format == FIF_UNKNOWN)
        return STEP_DONE;
    if (!IsEntryOfFolder(thumbFolder, image->thumbPath)) {
        if (WorkFolderVanished())
            return STEP_END;
        ShowSaveError(image, "Имя миниатюры ведёт за пределы папки thumbnails, файл пропущен:\n");
        return STEP_DONE;
    }
    if (IsCaseTwin(image, placed))
        return STEP_DONE;
    StepResult step = DescribeFileAsItIs(decoded, image, format);
    if (step == STEP_ON)
        step = SaveThumbnailFile(image, format);
    if (step != STEP_ON)
        return step;
    RememberPlaced(placed, image->thumbPath, image->entry.cFileName);
    if (!WriteImageStatement(image))
        return STEP_END;
    image->recorded = 1;
    return STEP_DONE;
}

// Everything done for one listed entry, the index-th of total, held in an image of its
// own. Loading and scaling come first and stand apart from naming, recording and saving.
// The tally counts it written or skipped. 0 when the job must end.
static int ProcessEntry(DecodedEntry *decoded, PlacedNames *placed, int index, int total, JobTally *tally)
{
    BatchImage image;
    image.entry = decoded->find;
    image.thumbnail = NULL;
    image.index = index;
    image.total = total;
    image.recorded = 0;
    StepResult step = TakeEntryImage(decoded, &image);
    if (step == STEP_ON) {
        BuildBaseName(&image);
        if (AppendSuffix(&image))
            step = SaveThumbnail(decoded, &image, placed);
        else
            ShowEntryError(&image, nameTooLong);
    }
    if (image.thumbnail != NULL)
        FreeImage_Unload(image.thumbnail);
    if (image.recorded)
        tally->done++;
    else
        AddToNameList(&tally->missed, image.entry.cFileName);
    return step != STEP_END;
}

// Walks every entry that matches findMask, directories included, in the order the file
// system lists them, until the log fails or Cancel is pressed; the decoder lists them and
// decodes ahead. The progress window follows the walk, and the program's windows are
// answered between entries and while a worker is awaited. 0 when nothing was listed.
static int ProcessMatchingEntries(JobTally *tally)
{
    int total = CountEntries(findMask);
    if (!DecoderBegin(findMask, thumbSize)) {
        MessageBoxA(NULL, "FindFirstFile", "Error", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    ProgressOpen("Миниатюры", total);
    DecoderWhileWaiting(ProgressHandleMessages);
    PlacedNames placed;
    PlacedNamesBegin(&placed);
    DecodedEntry decoded;
    int goOn = 1;
    for (int index = 1; goOn && DecoderNext(&decoded); index++) {
        // an entry listed after the count still gets its "n of N"
        total = index > total ? index : total;
        goOn = ProgressNext(decoded.find.cFileName) && ProcessEntry(&decoded, &placed, index, total, tally);
        DecoderRelease(&decoded);
    }
    PlacedNamesEnd(&placed);
    DecoderWhileWaiting(NULL);
    DecoderEnd();
    ProgressClose();
    return 1;
}

// The thumbnail job: a thumbnail and an imagelog.sql statement for every image of workDir
// that matches findMask. A job whose settings would write elsewhere, or that cannot
// enter workDir, open its log or use its thumbnails folder, stops before it writes a
// thumbnail, rather than writing thumbnails that no statement describes. Temporary
// files that a killed job left in thumbnails go first.
int MakeThumbnails(void)
{
    if (ThumbSettingsAccepted(NULL, workDir, findMask, thumbSuffix, thumbSize) && EnterWorkDir()) {
        ShowStatus("Создание файла imagelog.sql и папки thumbnails");
        if (OpenImageLog()) {
            JobTally tally;
            TallyStart(&tally);
            int walked = 0;
            if (MakeThumbnailFolder()) {
                RemoveStaleTempFiles(thumbFolder);
                walked = ProcessMatchingEntries(&tally);
            }
            CloseImageLog();
            ShowStatus("Запись файла imagelog.sql");
            if (walked)
                ShowThumbnailSummary(&tally);
        }
    }
    recordDefaultsSet = 0;
    return 1;
}
