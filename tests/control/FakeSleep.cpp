#include "control/FakeSleep.h"

#include "control/QoKVXSleep.h"

std::vector<int>& FakeSleepCalls() {
  static std::vector<int> calls;
  return calls;
}
void QoKVXSleep(int seconds) { FakeSleepCalls().push_back(seconds); }
