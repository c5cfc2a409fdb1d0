// The recording stand-in for QoKVXSleep: returns at once and remembers the
// seconds asked for, so loops of waits run in no time.
#ifndef KVX_TESTS_CONTROL_FAKESLEEP_H
#define KVX_TESTS_CONTROL_FAKESLEEP_H
#include <vector>
std::vector<int>& FakeSleepCalls();
#endif  // KVX_TESTS_CONTROL_FAKESLEEP_H
