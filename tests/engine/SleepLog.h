// The sleeps a test asked for: QoKVXSleep is replaced by a recorder that
// returns at once.
#ifndef KVX_TESTS_ENGINE_SLEEPLOG_H
#define KVX_TESTS_ENGINE_SLEEPLOG_H

#include <vector>

namespace sleeplog {
void Clear();
std::vector<int> Calls();  // the seconds of each call, in order
}  // namespace sleeplog

#endif  // KVX_TESTS_ENGINE_SLEEPLOG_H
