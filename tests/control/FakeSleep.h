// QoKVXSleep of the tests: returns at once, keeps the seconds asked for.
#ifndef KVX_TESTS_CONTROL_FAKESLEEP_H
#define KVX_TESTS_CONTROL_FAKESLEEP_H
#include <vector>
std::vector<int>& FakeSleepCalls();
#endif  // KVX_TESTS_CONTROL_FAKESLEEP_H
