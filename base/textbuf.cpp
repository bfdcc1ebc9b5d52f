#include "textbuf.h"

#include <string.h>

// Does a text of this many characters fit a buffer of cap bytes with its terminator?
int TextFits(size_t cap, size_t length)
{
    return cap > 0 && length < cap;
}

// Copies at most count characters of src (fewer if src ends first) into dst.
int TextCopyPrefix(char *dst, size_t cap, const char *src, size_t count)
{
    if (cap == 0)
        return 0;
    size_t length = strnlen(src, count);
    int fit = TextFits(cap, length);
    if (!fit)
        length = cap - 1;
    memmove(dst, src, length);
    dst[length] = '\0';
    return fit;
}

// Replaces the text of dst with src.
int TextCopy(char *dst, size_t cap, const char *src)
{
    return TextCopyPrefix(dst, cap, src, (size_t)-1);
}

// Adds src after the text that dst already holds.
int TextAppend(char *dst, size_t cap, const char *src)
{
    if (cap == 0)
        return 0;
    size_t used = strnlen(dst, cap);
    if (used == cap) {
        // not terminated: the buffer was never a text; make it one, empty
        dst[0] = '\0';
        used = 0;
    }
    return TextCopy(dst + used, cap - used, src);
}

// Adds the decimal digits of an unsigned number.
int TextAppendUnsigned(char *dst, size_t cap, unsigned long long value)
{
    char digits[24];
    size_t at = sizeof digits;
    digits[--at] = '\0';
    do {
        digits[--at] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return TextAppend(dst, cap, digits + at);
}

// Adds the decimal digits of a signed number, with a minus sign when it is negative.
int TextAppendInt(char *dst, size_t cap, long long value)
{
    if (value >= 0)
        return TextAppendUnsigned(dst, cap, (unsigned long long)value);
    // the magnitude is taken in unsigned arithmetic, so the smallest value has one too
    unsigned long long magnitude = 0ULL - (unsigned long long)value;
    int fit = TextAppend(dst, cap, "-");
    return TextAppendUnsigned(dst, cap, magnitude) && fit;
}

size_t TextDigitsValue(const char *text, size_t length, unsigned long long ceiling, unsigned long long *value)
{
    size_t count = 0;
    *value = 0;
    for (; count < length && text[count] >= '0' && text[count] <= '9'; count++) {
        unsigned digit = (unsigned)(text[count] - '0');
        *value = *value > (ceiling - digit) / 10 ? ceiling : *value * 10 + digit;
    }
    return count;
}
