// Mode and group of placed files.
#include "InstallUtil.h"

#include <sys/stat.h>

#include "ShellCommand.h"
#include "UpdateLayout.h"

namespace kvxinstall {

namespace {
constexpr char kCmdChgrp[] = "chgrp -Rf %s %s";
}  // namespace

void GiveToKvxGroup(const char* path) {
  ::chmod(path, kvxlayout::kInstalledMode);
  char cmd[1024];
  RunShellCommand(cmd, sizeof cmd, kCmdChgrp, kvxlayout::kInstalledGroup, path);
}

}  // namespace kvxinstall
