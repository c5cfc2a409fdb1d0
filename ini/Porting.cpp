// Bounded formatting wrappers shared by every unit.
#include "Porting.h"

#include <string.h>

#include <cstdio>
#include <cstring>

void qo_vsnprintf(char* buf, unsigned long size, const char* fmt, va_list ap) {
  std::vsnprintf(buf, size, fmt, ap);  // a cut is expected, not an error
  buf[size - 1] = '\0';                // also when vsnprintf failed
}

void qo_snprintf(char* buf, unsigned long size, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(buf, size, fmt, ap);
  va_end(ap);
}

void qo_snwprintf(wchar_t* buf, unsigned long size, const wchar_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  // vswprintf returns -1 on a cut and may leave the buffer unterminated.
  std::vswprintf(buf, size, fmt, ap);
  va_end(ap);
  buf[size - 1] = L'\0';
}

void qo_strlcat(char* buf, unsigned long size, const char* text) {
  if (size == 0) return;  // not even room for the terminator
  // strnlen: a buf left unterminated within size is not read past its end.
  const std::size_t used = ::strnlen(buf, size);
  if (used >= size - 1) {
    buf[size - 1] = '\0';
    return;
  }
  const std::size_t n = ::strnlen(text, size - 1 - used);
  std::memcpy(buf + used, text, n);
  buf[used + n] = '\0';
}
