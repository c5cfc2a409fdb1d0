// The working folder is process-wide: an operation that changes it for one
// call remembers it here and always goes back, whichever way the call ends.
#ifndef KVX_CONTROL_SCOPEDWORKDIR_H
#define KVX_CONTROL_SCOPEDWORKDIR_H

#include <unistd.h>

#include <cstddef>

template <std::size_t N>  // N: the calling unit's buffer size
class ScopedWorkDir {
 public:
  ScopedWorkDir() {
    if (!::getcwd(saved_, N)) saved_[0] = '\0';
  }
  ~ScopedWorkDir() {
    if (saved_[0] && ::chdir(saved_) != 0) {
      // nowhere else to go
    }
  }
  ScopedWorkDir(const ScopedWorkDir&) = delete;
  ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

 private:
  char saved_[N];
};

#endif  // KVX_CONTROL_SCOPEDWORKDIR_H
