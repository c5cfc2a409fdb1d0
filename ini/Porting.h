// Bounded formatting: the one way this code base fills a fixed-size buffer.
// A text that does not fit is cut silently at size - 1 bytes; that is the
// intended behaviour, not an error.
#ifndef KVX_INI_PORTING_H
#define KVX_INI_PORTING_H

#include <cstdarg>
#include <cwchar>

void qo_vsnprintf(char* buf, unsigned long size, const char* fmt, va_list ap)
    __attribute__((format(printf, 3, 0)));
void qo_snprintf(char* buf, unsigned long size, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
void qo_snwprintf(wchar_t* buf, unsigned long size, const wchar_t* fmt, ...);
// Appends text to the terminated text in buf under the same rule. A buf whose
// text already takes size - 1 bytes or more gets nothing and is terminated at
// size - 1.
void qo_strlcat(char* buf, unsigned long size, const char* text);

#endif  // KVX_INI_PORTING_H
