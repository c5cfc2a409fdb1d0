// QoKVXSleep: blocks the process; no busy waiting.
#include "QoKVXSleep.h"

#include <unistd.h>

void QoKVXSleep(int seconds) {
  // sleep returns early on a signal; finish the rest so callers get the full wait.
  unsigned int left = seconds > 0 ? static_cast<unsigned int>(seconds) : 0;
  while (left > 0) left = ::sleep(left);
}
