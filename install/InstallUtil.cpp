// Mode and group of placed files.
#include "InstallUtil.h"

#include <sys/stat.h>

#include "ShellCommand.h"

namespace kvxinstall {

namespace {
constexpr char kCmdChgrp[] = "chgrp -Rf kvxgroup %s";
constexpr mode_t kInstalledMode = 0775;
}  // namespace

void GiveToKvxGroup(const char* path) {
  ::chmod(path, kInstalledMode);
  char cmd[1024];
  RunShellCommand(cmd, sizeof cmd, kCmdChgrp, path);
}

}  // namespace kvxinstall
