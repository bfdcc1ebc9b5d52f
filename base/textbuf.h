// Bounded text helpers: every copy and join into a fixed buffer goes through these.
// Each takes the buffer's whole capacity (terminator included), never writes past it,
// always leaves the buffer terminated, and returns 1 when the whole text fit, 0 when it
// was cut. What a cut means is the caller's decision; for a path it is an error.
#ifndef FOTOBATCH_TEXTBUF_H
#define FOTOBATCH_TEXTBUF_H

#include <stddef.h>

int TextCopy(char *dst, size_t cap, const char *src);
int TextCopyPrefix(char *dst, size_t cap, const char *src, size_t count);
int TextAppend(char *dst, size_t cap, const char *src);
int TextAppendInt(char *dst, size_t cap, long long value);
int TextAppendUnsigned(char *dst, size_t cap, unsigned long long value);
int TextFits(size_t cap, size_t length);
// The value of the decimal digits that begin text (looking at most at length characters),
// saturating at ceiling so that an absurd number stays absurd instead of wrapping round.
// How many digits there were; 0 when text does not begin with one.
size_t TextDigitsValue(const char *text, size_t length, unsigned long long ceiling, unsigned long long *value);

// A number given by a macro as a string literal, at compile time: NUMBER_TEXT(150) is "150".
#define NUMBER_TEXT(number) NUMBER_TEXT_OF(number)
#define NUMBER_TEXT_OF(number) #number

#endif
