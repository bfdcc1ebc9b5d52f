#include "workerproto.h"
#include "../base/base.h"
#include "../base/state.h"

#include <string.h>

// The models whose tags travel with a thumbnail: comments through to the raw Exif block.
#define METADATA_MODEL_FIRST FIMD_COMMENTS
#define METADATA_MODEL_LAST FIMD_EXIF_RAW

struct PackedBitmapHead {
    int type;
    DWORD bpp, width, height, lineBytes;
    DWORD redMask, greenMask, blueMask;
    DWORD paletteColors;
    DWORD transparentCount;
    int transparent;
    int hasBackground;
    RGBQUAD background;
    DWORD dotsPerMeterX, dotsPerMeterY;
    DWORD iccLength;
    DWORD iccFlags;
    DWORD metadataLength;
};

struct PackedTagHead {
    int model;
    DWORD id;
    DWORD type;
    DWORD count;
    DWORD length;
    DWORD keyLength;
};

// One request, in one write, so that requests never interleave.
int SendWorkerRequest(HANDLE pipe, const WorkerRequest *request)
{
    return WriteAll(pipe, request, sizeof *request);
}

int ReceiveWorkerRequest(HANDLE pipe, WorkerRequest *request)
{
    if (!ReadAll(pipe, request, sizeof *request))
        return 0;
    request->path[sizeof request->path - 1] = '\0';
    return 1;
}

// A frame is its head, a fixed part and a variable body, sent as one block.
int SendWorkerFrame(HANDLE pipe, DWORD kind, DWORD id, const void *head, DWORD headLength,
                    const void *body, DWORD bodyLength)
{
    WorkerFrameHead frame = {kind, id, headLength + bodyLength};
    DWORD total = sizeof frame + frame.length;
    BYTE *block = (BYTE *)HeapAlloc(GetProcessHeap(), 0, total);
    if (block == NULL)
        return 0;
    memcpy(block, &frame, sizeof frame);
    if (headLength > 0)
        memcpy(block + sizeof frame, head, headLength);
    if (bodyLength > 0)
        memcpy(block + sizeof frame + headLength, body, bodyLength);
    int sent = WriteAll(pipe, block, total);
    HeapFree(GetProcessHeap(), 0, block);
    return sent;
}

DWORD WorkerResultMax(int thumbSize)
{
    unsigned long long side = thumbSize > 0 ? (unsigned)thumbSize : 1;
    unsigned long long most = sizeof(WorkerResultHead) + sizeof(PackedBitmapHead) + 256 * sizeof(RGBQUAD) + 256
                              + WORKER_TAGS_MAX + side * side * 16;
    return most < WORKER_FRAME_MAX ? (DWORD)most : WORKER_FRAME_MAX;
}

BYTE *ReceiveFramePayload(HANDLE pipe, DWORD length)
{
    const DWORD first = 64 * 1024;
    DWORD room = length < first ? length : first;
    BYTE *payload = (BYTE *)HeapAlloc(GetProcessHeap(), 0, room > 0 ? room : 1);
    DWORD got = 0;
    while (payload != NULL && got < length) {
        if (got == room) {
            room = room > length / 2 ? length : room * 2;
            BYTE *grown = (BYTE *)HeapReAlloc(GetProcessHeap(), 0, payload, room);
            if (grown == NULL)
                break;
            payload = grown;
        }
        DWORD read = 0;
        if (!ReadFile(pipe, payload + got, room - got, &read, NULL) || read == 0)
            break;
        got += read;
    }
    if (payload != NULL && got < length) {
        HeapFree(GetProcessHeap(), 0, payload);
        payload = NULL;
    }
    return payload;
}

// Bytes of one tag record, or of all of them when out is NULL and only counting.
static DWORD PackTags(FIBITMAP *bitmap, BYTE *out)
{
    DWORD used = 0;
    for (int model = METADATA_MODEL_FIRST; model <= METADATA_MODEL_LAST; model++) {
        // a model whose last tag was removed still gives a search handle, with no tag
        if (FreeImage_GetMetadataCount((FREE_IMAGE_MDMODEL)model, bitmap) == 0)
            continue;
        FITAG *tag = NULL;
        FIMETADATA *search = FreeImage_FindFirstMetadata((FREE_IMAGE_MDMODEL)model, bitmap, &tag);
        if (search == NULL)
            continue;
        do {
            const char *key = FreeImage_GetTagKey(tag);
            PackedTagHead head;
            head.model = model;
            head.id = FreeImage_GetTagID(tag);
            head.type = FreeImage_GetTagType(tag);
            head.count = FreeImage_GetTagCount(tag);
            head.length = FreeImage_GetTagLength(tag);
            head.keyLength = key != NULL ? (DWORD)strlen(key) : 0;
            if (out != NULL) {
                memcpy(out + used, &head, sizeof head);
                memcpy(out + used + sizeof head, key, head.keyLength);
                if (head.length > 0)
                    memcpy(out + used + sizeof head + head.keyLength, FreeImage_GetTagValue(tag), head.length);
            }
            used += sizeof head + head.keyLength + head.length;
        } while (FreeImage_FindNextMetadata(search, &tag));
        FreeImage_FindCloseMetadata(search);
    }
    return used;
}

BYTE *PackBitmap(FIBITMAP *bitmap, DWORD maxLength, DWORD *length)
{
    PackedBitmapHead head;
    memset(&head, 0, sizeof head);
    head.type = FreeImage_GetImageType(bitmap);
    head.bpp = FreeImage_GetBPP(bitmap);
    head.width = FreeImage_GetWidth(bitmap);
    head.height = FreeImage_GetHeight(bitmap);
    head.lineBytes = FreeImage_GetLine(bitmap);
    head.redMask = FreeImage_GetRedMask(bitmap);
    head.greenMask = FreeImage_GetGreenMask(bitmap);
    head.blueMask = FreeImage_GetBlueMask(bitmap);
    head.paletteColors = FreeImage_GetPalette(bitmap) != NULL ? FreeImage_GetColorsUsed(bitmap) : 0;
    head.transparentCount = FreeImage_GetTransparencyCount(bitmap);
    head.transparent = FreeImage_IsTransparent(bitmap);
    head.hasBackground = FreeImage_HasBackgroundColor(bitmap);
    if (head.hasBackground)
        FreeImage_GetBackgroundColor(bitmap, &head.background);
    head.dotsPerMeterX = FreeImage_GetDotsPerMeterX(bitmap);
    head.dotsPerMeterY = FreeImage_GetDotsPerMeterY(bitmap);
    FIICCPROFILE *icc = FreeImage_GetICCProfile(bitmap);
    if (icc != NULL && icc->data != NULL) {
        head.iccLength = icc->size;
        head.iccFlags = icc->flags;
    }
    head.metadataLength = PackTags(bitmap, NULL);

    unsigned long long total = sizeof head + head.paletteColors * sizeof(RGBQUAD) + head.transparentCount
        + head.iccLength + head.metadataLength + (unsigned long long)head.lineBytes * head.height;
    if (total > maxLength)
        return NULL;
    BYTE *data = (BYTE *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)total);
    if (data == NULL)
        return NULL;
    BYTE *out = data;
    memcpy(out, &head, sizeof head);
    out += sizeof head;
    if (head.paletteColors > 0) {
        memcpy(out, FreeImage_GetPalette(bitmap), head.paletteColors * sizeof(RGBQUAD));
        out += head.paletteColors * sizeof(RGBQUAD);
    }
    if (head.transparentCount > 0) {
        memcpy(out, FreeImage_GetTransparencyTable(bitmap), head.transparentCount);
        out += head.transparentCount;
    }
    if (head.iccLength > 0) {
        memcpy(out, icc->data, head.iccLength);
        out += head.iccLength;
    }
    out += PackTags(bitmap, out);
    for (DWORD y = 0; y < head.height; y++) {
        memcpy(out, FreeImage_GetScanLine(bitmap, y), head.lineBytes);
        out += head.lineBytes;
    }
    *length = (DWORD)total;
    return data;
}

// Takes the next count bytes of the block, or NULL when the block is shorter.
static const BYTE *TakeBytes(const BYTE **next, const BYTE *end, unsigned long long count)
{
    if ((unsigned long long)(end - *next) < count)
        return NULL;
    const BYTE *taken = *next;
    *next += count;
    return taken;
}

// Puts the packed tags back on the bitmap; 0 if the records do not add up.
static int UnpackTags(FIBITMAP *bitmap, const BYTE *next, const BYTE *end)
{
    while (next < end) {
        const BYTE *headBytes = TakeBytes(&next, end, sizeof(PackedTagHead));
        if (headBytes == NULL)
            return 0;
        PackedTagHead head;
        memcpy(&head, headBytes, sizeof head);
        const BYTE *keyBytes = TakeBytes(&next, end, head.keyLength);
        const BYTE *value = TakeBytes(&next, end, head.length);
        if (keyBytes == NULL || value == NULL || head.keyLength == 0 || head.keyLength >= 1024
            || head.model < METADATA_MODEL_FIRST || head.model > METADATA_MODEL_LAST)
            return 0;
        char key[1024];
        TextCopyPrefix(key, sizeof key, (const char *)keyBytes, head.keyLength);
        FITAG *tag = FreeImage_CreateTag();
        if (tag == NULL)
            return 0;
        FreeImage_SetTagKey(tag, key);
        FreeImage_SetTagID(tag, (WORD)head.id);
        FreeImage_SetTagType(tag, (FREE_IMAGE_MDTYPE)head.type);
        FreeImage_SetTagCount(tag, head.count);
        FreeImage_SetTagLength(tag, head.length);
        if (head.length > 0)
            FreeImage_SetTagValue(tag, value);
        FreeImage_SetMetadata((FREE_IMAGE_MDMODEL)head.model, bitmap, key, tag);
        FreeImage_DeleteTag(tag);
    }
    return 1;
}

FIBITMAP *UnpackBitmap(const BYTE *data, DWORD length)
{
    const BYTE *next = data;
    const BYTE *end = data + length;
    const BYTE *headBytes = TakeBytes(&next, end, sizeof(PackedBitmapHead));
    if (headBytes == NULL)
        return NULL;
    PackedBitmapHead head;
    memcpy(&head, headBytes, sizeof head);
    if (head.width == 0 || head.height == 0 || head.width > THUMB_SIZE_MAX || head.height > THUMB_SIZE_MAX
        || head.paletteColors > 256 || head.transparentCount > 256)
        return NULL;
    const BYTE *palette = TakeBytes(&next, end, head.paletteColors * sizeof(RGBQUAD));
    const BYTE *transparency = TakeBytes(&next, end, head.transparentCount);
    const BYTE *icc = TakeBytes(&next, end, head.iccLength);
    const BYTE *tags = TakeBytes(&next, end, head.metadataLength);
    const BYTE *pixels = TakeBytes(&next, end, (unsigned long long)head.lineBytes * head.height);
    if (palette == NULL || transparency == NULL || icc == NULL || tags == NULL || pixels == NULL || next != end)
        return NULL;

    FIBITMAP *bitmap = FreeImage_AllocateT((FREE_IMAGE_TYPE)head.type, (int)head.width, (int)head.height,
                                           (int)head.bpp, head.redMask, head.greenMask, head.blueMask);
    if (bitmap == NULL)
        return NULL;
    if (FreeImage_GetLine(bitmap) != head.lineBytes
        || (head.paletteColors > 0 && (FreeImage_GetPalette(bitmap) == NULL
                                       || FreeImage_GetColorsUsed(bitmap) != head.paletteColors))) {
        FreeImage_Unload(bitmap);
        return NULL;
    }
    if (head.paletteColors > 0)
        memcpy(FreeImage_GetPalette(bitmap), palette, head.paletteColors * sizeof(RGBQUAD));
    if (head.transparentCount > 0)
        FreeImage_SetTransparencyTable(bitmap, (BYTE *)transparency, (int)head.transparentCount);
    FreeImage_SetTransparent(bitmap, head.transparent);
    if (head.hasBackground)
        FreeImage_SetBackgroundColor(bitmap, &head.background);
    FreeImage_SetDotsPerMeterX(bitmap, head.dotsPerMeterX);
    FreeImage_SetDotsPerMeterY(bitmap, head.dotsPerMeterY);
    if (head.iccLength > 0) {
        FIICCPROFILE *profile = FreeImage_CreateICCProfile(bitmap, (void *)icc, (long)head.iccLength);
        if (profile != NULL)
            profile->flags = (WORD)head.iccFlags;
    }
    if (!UnpackTags(bitmap, tags, tags + head.metadataLength)) {
        FreeImage_Unload(bitmap);
        return NULL;
    }
    for (DWORD y = 0; y < head.height; y++)
        memcpy(FreeImage_GetScanLine(bitmap, y), pixels + (size_t)y * head.lineBytes, head.lineBytes);
    return bitmap;
}
