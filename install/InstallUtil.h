// Small helpers shared by the installation units: the working folder kept
// across a folder-relative operation, the shell runner, and the mode and
// group every placed file receives.
#ifndef KVX_INSTALL_INSTALLUTIL_H
#define KVX_INSTALL_INSTALLUTIL_H

#include <unistd.h>

#include <cstddef>

namespace kvxinstall {

// Remembers the working folder and changes back to it when the scope ends.
// A folder that does not fit N bytes (terminator included) is not
// remembered, and then nothing is changed back.
template <std::size_t N>
class ScopedWorkDir {
 public:
  ScopedWorkDir() {
    if (!::getcwd(saved_, N)) saved_[0] = '\0';
  }
  ~ScopedWorkDir() {
    if (saved_[0] && ::chdir(saved_) != 0) return;  // nowhere else to go
  }
  ScopedWorkDir(const ScopedWorkDir&) = delete;
  ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

  bool remembered() const { return saved_[0] != '\0'; }

 private:
  char saved_[N];
};

// Formats the command into cmd (cut at size - 1) and runs it through the
// shell; the result is system()'s.
int RunShellCommand(char* cmd, unsigned long size, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

// Mode 0775 and group kvxgroup on one placed file. Neither change is
// checked: a file that keeps its old mode still works for its owner.
void GiveToKvxGroup(const char* path);

}  // namespace kvxinstall

#endif  // KVX_INSTALL_INSTALLUTIL_H
