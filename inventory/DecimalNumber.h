// Decimal numbers as the inventory reads them from INI values and folder
// names: leading blanks and one sign accepted, reading stops at the first
// character that is not a digit, no digits give 0.
#ifndef KVX_INVENTORY_DECIMALNUMBER_H
#define KVX_INVENTORY_DECIMALNUMBER_H

#include <cstdint>

// Reads one base-10 number from text. A value outside the signed 32-bit range
// is held at INT32_MAX or INT32_MIN rather than wrapped: a wrapped build
// number could turn an absurd value into a small or negative build that
// passes a version gate. When end is not null it receives the position after
// the last digit, or text itself when there was no digit.
std::int32_t ReadDecimal32(const char* text, const char** end = nullptr);

#endif  // KVX_INVENTORY_DECIMALNUMBER_H
