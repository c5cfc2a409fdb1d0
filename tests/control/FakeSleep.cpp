#include "FakeSleep.h"

#include "QoKVXSleep.h"

static std::vector<int> g_calls;  // filled only once main runs
std::vector<int>& FakeSleepCalls() { return g_calls; }
void QoKVXSleep(int seconds) { g_calls.push_back(seconds); }
