// One reader for every decimal number of the inventory, so a registry count,
// a package build and a folder version all agree on what "12ab" or
// "99999999999" means.
#include "DecimalNumber.h"

#include <cstdlib>
#include <limits>

std::int32_t ReadDecimal32(const char* text, const char** end) {
  if (end) *end = text;
  if (!text) return 0;
  char* stop = nullptr;
  const long long value = std::strtoll(text, &stop, 10);  // saturates at the 64-bit range
  if (stop == text) return 0;
  if (end) *end = stop;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}
