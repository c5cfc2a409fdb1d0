// Shell runner and the mode/group change of placed files.
#include "install/InstallUtil.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ini/Porting.h"

namespace kvxinstall {

namespace {
constexpr char kCmdChgrp[] = "chgrp -Rf kvxgroup %s";
constexpr mode_t kInstalledMode = 0775;
}  // namespace

int RunShellCommand(char* cmd, unsigned long size, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(cmd, size, fmt, ap);
  va_end(ap);
  std::fflush(nullptr);  // nothing buffered is written twice by the child
  return std::system(cmd);
}

void GiveToKvxGroup(const char* path) {
  ::chmod(path, kInstalledMode);
  char cmd[1024];
  RunShellCommand(cmd, sizeof cmd, kCmdChgrp, path);
}

}  // namespace kvxinstall
