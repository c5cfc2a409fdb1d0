// ChangeOwner: the file library's one operation through the shell. Apart
// from the path queries so that a reader linking those runs no command.
#include <cstdio>
#include <cstdlib>

#include "Porting.h"
#include "QoFileOpUtil.h"

int ChangeOwner(char* path) {
  char cmd[1024];
  std::fflush(nullptr);  // nothing buffered is written twice by the child
  qo_snprintf(cmd, sizeof cmd, "chgrp -Rf kvxgroup '%s'", path);
  (void)std::system(cmd);
  qo_snprintf(cmd, sizeof cmd, "chmod -Rf g+rw '%s'", path);
  (void)std::system(cmd);
  qo_snprintf(cmd, sizeof cmd, "chmod -Rf o-w '%s'", path);
  return std::system(cmd);
}
