// QoKVXSleep for the engine tests: records the request and returns at once,
// so ten rounds of ten-second polls take no time.
#include <vector>

#include "control/DominoControl.h"
#include "engine/SleepLog.h"

namespace {
std::vector<int>& Recorded() {
  static std::vector<int> calls;
  return calls;
}
}  // namespace

void QoKVXSleep(int seconds) { Recorded().push_back(seconds); }

namespace sleeplog {
void Clear() { Recorded().clear(); }
std::vector<int> Calls() { return Recorded(); }
}  // namespace sleeplog
